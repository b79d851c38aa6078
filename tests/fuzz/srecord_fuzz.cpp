// S-record images: reading, decoding, the image check and the block fill over
// a flash map. The laid-out blocks are compared with a plain layout computed
// here from the text alone: records in file order, a later one overwriting an
// earlier one, 0xFF wherever no record supplies a byte.
//
// Input: one byte choosing the walk (bit 7) and the map (bits 0-3), the map's rows when the map
// is made up from the input, then the image text.
#include "firmware/address_data.h"
#include "firmware/address_data_list.h"
#include "firmware/block_fill.h"
#include "firmware/format_error.h"
#include "firmware/image_check.h"
#include "flash/flash_map.h"
#include "flash/table_flash_maps.h"

#include "fuzz_support.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using fuzz_support::Hex;

namespace {

// A map whose rows come from the input: ascending, not overlapping, ending at
// 2^32 at the latest, as every real map is.
class InputFlashMap : public CFlashMap {
public:
    explicit InputFlashMap(fuzz_support::Input& in) {
        std::uint64_t next = in.u32();
        const int rows = 1 + in.u8() % 4;
        for (int r = 0; r < rows; ++r) {
            const std::uint64_t base = next + in.u16() % 0x400;
            const std::uint32_t size = 1 + in.u16() % 0x800;
            std::uint32_t count = 1 + in.u8() % 6;
            while (count > 0 && base + std::uint64_t{count} * size > 0x100000000u)
                --count;
            if (count == 0)
                break;
            runs_.push_back({static_cast<std::uint32_t>(base), count, size});
            next = base + std::uint64_t{count} * size;
        }
    }

    std::uint32_t GetBlockAddress(std::int32_t index) const override {
        return blockAddressIn(runs_, index);
    }
    std::uint32_t GetBlockSize(std::int32_t index) const override {
        return blockSizeIn(runs_, index);
    }
    bool IsReservedAddress(std::uint32_t) const override { return false; }

private:
    std::vector<FlashBlockRun> runs_;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One line of the image as the plain reading sees it.
struct Record {
    int line = 0;
    bool data = false;          // an S1, S2 or S3 line long enough for its frame
    std::size_t textLength = 0; // data digits between address and checksum
    std::uint32_t address = 0;
    bool bad = false;       // data digits present, but they do not decode
    bool lowerCase = false; // a data digit in lower case
    std::vector<std::uint8_t> bytes;
};

Record readRecord(std::string_view line, int number) {
    Record r;
    r.line = number;
    if (line.size() < 6 || line[0] != 'S' || line[1] < '1' || line[1] > '3')
        return r;
    const std::size_t addressDigits = 2 * static_cast<std::size_t>(line[1] - '0' + 1);
    if (line.size() < 6 + addressDigits)
        return r;
    r.data = true;
    r.textLength = line.size() - 6 - addressDigits;
    if (r.textLength == 0)
        return r; // nothing to decode, so nothing to fail
    // Count, address, data and checksum bytes must add up to 0xFF.
    bool digits = r.textLength % 2 == 0;
    unsigned sum = 0;
    auto byteAt = [&](std::size_t i) {
        const int high = hexDigit(line[i]);
        const int low = hexDigit(line[i + 1]);
        if (high < 0 || low < 0) {
            digits = false;
            return 0;
        }
        return high << 4 | low;
    };
    sum += static_cast<unsigned>(byteAt(2));
    for (std::size_t i = 0; i < addressDigits; i += 2) {
        const int b = byteAt(4 + i);
        r.address = r.address << 8 | static_cast<std::uint32_t>(b);
        sum += static_cast<unsigned>(b);
    }
    for (std::size_t i = 4 + addressDigits; digits && i + 1 < line.size() - 2; i += 2) {
        const int b = byteAt(i);
        r.bytes.push_back(static_cast<std::uint8_t>(b));
        sum += static_cast<unsigned>(b);
        r.lowerCase |=
            (line[i] >= 'a' && line[i] <= 'f') || (line[i + 1] >= 'a' && line[i + 1] <= 'f');
    }
    sum += static_cast<unsigned>(byteAt(line.size() - 2));
    r.bad = !digits || (sum & 0xFF) != 0xFF;
    if (r.bad)
        r.bytes.clear();
    return r;
}

// The lines of an image file: up to a Ctrl-Z, split at LF, a CR before the LF
// dropped, a last line without an end included.
std::vector<std::string_view> splitLines(std::string_view text) {
    text = text.substr(0, text.find('\x1A'));
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    }
    return lines;
}

// Parses and decodes one line from a buffer of exactly its length, so that a
// read past the line's end meets the address sanitizer.
void checkOneLine(std::string_view line, const Record& expected) {
    const std::unique_ptr<char[]> copy(new char[line.size() + 1]);
    std::copy(line.begin(), line.end(), copy.get());
    const std::string_view exact(copy.get(), line.size());

    CAddressDataEx lenient(expected.line);
    const std::optional<CFormatError> reason = lenient.parse(exact);
    FUZZ_CHECK(reason.has_value() != expected.data, "line " + std::to_string(expected.line));
    FUZZ_CHECK(static_cast<std::size_t>(lenient.textLength()) == expected.textLength,
               "line " + std::to_string(expected.line));
    bool failed = false;
    try {
        lenient.decode();
    } catch (const CFormatError& error) {
        FUZZ_CHECK(error.value() == CFormatError::kMalformed, "decode error value");
        failed = true;
    }
    FUZZ_CHECK(failed == expected.bad, "decode of line " + std::to_string(expected.line));
    FUZZ_CHECK(lenient.size() == expected.bytes.size(), "decoded size");
    FUZZ_CHECK(expected.bytes.empty() ||
                   std::memcmp(lenient.data(), expected.bytes.data(), expected.bytes.size()) == 0,
               "decoded bytes");
    if (!expected.bad && !expected.bytes.empty())
        FUZZ_CHECK(lenient.address() == expected.address, "address " + Hex(lenient.address()));
    // A failed record stays failed, quietly.
    lenient.decode();

    CAddressDataEx strict(expected.line);
    strict.parse(exact);
    bool strictFailed = false;
    try {
        strict.decodeStrict();
    } catch (const CFormatError&) {
        strictFailed = true;
    }
    FUZZ_CHECK(strictFailed == (expected.bad || expected.lowerCase),
               "strict decode of line " + std::to_string(expected.line));
}

struct Expected {
    std::vector<std::uint8_t> bytes;
    std::uint32_t covered = 0;
};

// The block as the plain layout has it, or the line of the bad record the
// walk reaches first.
struct Layout {
    std::vector<Expected> blocks;
    std::optional<int> badLine;
};

Layout layOut(const std::vector<Record>& records, const std::vector<FlashBlock>& blocks,
              FillWalk walk) {
    Layout layout;
    for (const FlashBlock& block : blocks) {
        Expected e;
        e.bytes.assign(block.size, 0xFF);
        std::vector<bool> covered(block.size, false);
        const std::uint64_t begin = block.address;
        const std::uint64_t end = begin + block.size;
        for (const Record& r : records) {
            if (r.bad) {
                layout.badLine = r.line;
                return layout;
            }
            const std::uint64_t from = std::max<std::uint64_t>(begin, r.address);
            const std::uint64_t to =
                std::min<std::uint64_t>(end, std::uint64_t{r.address} + r.bytes.size());
            for (std::uint64_t a = from; a < to; ++a) {
                e.bytes[a - begin] = r.bytes[a - r.address];
                if (!covered[a - begin]) {
                    covered[a - begin] = true;
                    ++e.covered;
                }
            }
            // The main controller's walk stops at the first record that
            // completes the block; what follows does not take part.
            if (walk == FillWalk::kUntilCovered && e.covered == block.size)
                break;
        }
        layout.blocks.push_back(std::move(e));
    }
    return layout;
}

std::unique_ptr<CFlashMap> makeMap(std::uint8_t choice, fuzz_support::Input& in) {
    // The real maps with large blocks are slow to lay out; they come up
    // now and then.
    switch (choice % 16) {
    case 14:
        return std::make_unique<CR826FlashMap>();
    case 15:
        return std::make_unique<CM16C64FlashMap>();
    default:
        return std::make_unique<InputFlashMap>(in);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::Input in(data, size);
    const std::uint8_t choice = in.u8();
    const FillWalk walk = (choice & 0x80) != 0 ? FillWalk::kWholeList : FillWalk::kUntilCovered;
    const std::unique_ptr<CFlashMap> map = makeMap(choice, in);
    const std::vector<FlashBlock> blocks = enumerateBlocks(*map);
    const std::vector<std::uint8_t> textBytes = in.rest();
    const std::string_view text(reinterpret_cast<const char*>(textBytes.data()), textBytes.size());

    std::vector<Record> records;
    std::size_t dataBytes = 0;
    std::optional<int> firstBad;
    const std::vector<std::string_view> lines = splitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        records.push_back(readRecord(lines[i], static_cast<int>(i + 1)));
        checkOneLine(lines[i], records.back());
        dataBytes += records.back().textLength / 2;
        if (records.back().bad && !firstBad)
            firstBad = records.back().line;
    }

    // The loader sees the same lines.
    CAddressDataList image;
    const std::int32_t total = image.loadText(text);
    FUZZ_CHECK(image.count() == records.size(), std::to_string(image.count()));
    FUZZ_CHECK(static_cast<std::uint32_t>(total) == static_cast<std::uint32_t>(dataBytes),
               std::to_string(total));
    int line = 0;
    for (auto p = image.head(); p != image.end(); ++p)
        FUZZ_CHECK(image.at(p).line() == ++line, "line numbers");

    // The check before an upgrade reads the file and rejects the first bad record.
    const std::string path = fuzz_support::ScratchFile("image.mot");
    fuzz_support::WriteFile(path, text);
    const ImageCheck check = CheckImageFile(path);
    FUZZ_CHECK(check.result != ImageCheck::Result::Unreadable, "unreadable");
    FUZZ_CHECK(check.good() == !firstBad.has_value(), "check of the bad record");
    if (firstBad)
        FUZZ_CHECK(check.line == *firstBad, "check names line " + std::to_string(check.line));

    const Layout expected = layOut(records, blocks, walk);
    std::optional<int> failedLine;
    std::vector<FilledBlock> filled;
    try {
        for (const FlashBlock& block : blocks) {
            int shown = 0;
            const auto progress = [&shown](int percent) {
                FUZZ_CHECK(percent > shown && percent <= 100, std::to_string(percent));
                shown = percent;
            };
            filled.push_back(FillBlock(image, block.address, block.size, progress, walk));
        }
    } catch (const CImageRecordError& error) {
        FUZZ_CHECK(error.value() == CFormatError::kMalformed, "fill error value");
        failedLine = error.line();
    }
    FUZZ_CHECK(failedLine == expected.badLine,
               "fill failed at line " + std::to_string(failedLine.value_or(0)) + ", expected " +
                   std::to_string(expected.badLine.value_or(0)));
    // A layout that meets a bad record is one the check rejects, at that record;
    // walking every record for every block meets every bad one.
    if (failedLine)
        FUZZ_CHECK(firstBad == failedLine, "check and fill disagree");
    if (walk == FillWalk::kWholeList && !blocks.empty())
        FUZZ_CHECK(failedLine == firstBad, "whole-list fill missed a bad record");
    if (failedLine)
        return 0;

    FUZZ_CHECK(filled.size() == blocks.size(), "block count");
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const CAddressData& got = *filled[b].block;
        const Expected& want = expected.blocks[b];
        const std::string where = "block " + Hex(blocks[b].address);
        FUZZ_CHECK(got.address() == blocks[b].address && got.size() == blocks[b].size, where);
        FUZZ_CHECK(filled[b].coveredBytes == want.covered,
                   where + " covered " + std::to_string(filled[b].coveredBytes) + ", expected " +
                       std::to_string(want.covered));
        if (std::memcmp(got.data(), want.bytes.data(), got.size()) != 0) {
            std::uint32_t i = 0;
            while (got.data()[i] == want.bytes[i])
                ++i;
            FUZZ_CHECK(got.data()[i] == want.bytes[i],
                       where + " byte " + Hex(blocks[b].address + i));
        }
    }
    return 0;
}
