// Arbitrary text as an S-record image: loaded, every record decoded, then laid
// out block by block over several flash maps with FillBlock, in both walk
// modes. Each filled block is compared with a layout computed here from the
// decoded records alone; so are the bytes it reports covered, the entries left
// in the image afterwards and the progress it reports. An image with a record
// that does not decode is only walked, and must fail with that record.
#include "firmware/address_data.h"
#include "firmware/address_data_list.h"
#include "firmware/block_fill.h"
#include "flash/flash_map.h"
#include "flash/table_flash_maps.h"
#include "fuzz_support.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

namespace {

// Blocks of a few bytes, a gap, and two at the very top of the address space:
// small enough that short inputs cover whole blocks, so that a walk that stops
// once its block is covered is reached too.
constexpr std::array<FlashBlockRun, 4> kTinyRuns{{
    {0x00000000, 4, 0x10},
    {0x00000040, 1, 0x40},
    {0x00000100, 2, 0x20},
    {0xFFFFFFE0, 2, 0x10},
}};

class TinyFlash : public CFlashMap {
public:
    std::uint32_t GetBlockAddress(std::int32_t index) const override {
        return blockAddressIn(kTinyRuns, index);
    }
    std::uint32_t GetBlockSize(std::int32_t index) const override {
        return blockSizeIn(kTinyRuns, index);
    }
    bool IsReservedAddress(std::uint32_t) const override { return false; }
};

// One entry of the image as the reference sees it: its place in the file and
// its bytes (none for lines that are not data records).
struct Record {
    std::int32_t line = 0;
    std::uint64_t address = 0;
    std::vector<std::uint8_t> bytes;
};

struct Reference {
    std::vector<Record> records; // every entry, in file order
    std::set<std::int32_t> badLines;
};

// The number of entries the loader must make: one per line up to a Ctrl-Z,
// a last line without its line feed included.
std::size_t expectedEntries(std::string_view text) {
    text = text.substr(0, text.find('\x1A'));
    std::size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

Reference decodeAll(std::string_view text) {
    CAddressDataList list;
    const std::int32_t total = list.loadText(text);
    FUZZ_CHECK(list.count() == expectedEntries(text));

    Reference reference;
    std::int64_t byteCount = 0;
    std::int32_t line = 0;
    for (auto it = list.head(); it != list.end(); ++it) {
        CAddressDataEx& entry = list.at(it);
        FUZZ_CHECK(entry.line() == ++line);
        FUZZ_CHECK(entry.dataByteCount() >= 0);
        byteCount += entry.dataByteCount();
        Record record{entry.line(), entry.address(), {}};
        try {
            entry.decode();
            FUZZ_CHECK(entry.size() == static_cast<std::uint32_t>(entry.dataByteCount()));
            record.bytes.assign(entry.data(), entry.data() + entry.size());
        } catch (const CFormatError& error) {
            FUZZ_CHECK(error.value() == CFormatError::kMalformed);
            reference.badLines.insert(entry.line());
            // A record that failed stays failed, quietly and without bytes.
            entry.decode();
            FUZZ_CHECK(entry.size() == 0);
        }
        reference.records.push_back(std::move(record));
    }
    FUZZ_CHECK(total == static_cast<std::int32_t>(byteCount));
    return reference;
}

// What one block must hold, and which entries its walk uses up.
struct ExpectedBlock {
    std::vector<std::uint8_t> bytes;
    std::uint32_t covered = 0;
};

ExpectedBlock layOut(const Reference& reference, std::uint32_t address, std::uint32_t size,
                     FillWalk walk, std::vector<bool>& usedUp) {
    ExpectedBlock expected{std::vector<std::uint8_t>(size, 0xFF), 0};
    std::vector<bool> covered(size, false);
    const std::uint64_t blockEnd = std::uint64_t{address} + size;
    for (std::size_t i = 0; i < reference.records.size(); ++i) {
        if (usedUp[i])
            continue;
        const Record& record = reference.records[i];
        const std::uint64_t recordEnd = record.address + record.bytes.size();
        const std::uint64_t begin = std::max<std::uint64_t>(record.address, address);
        const std::uint64_t end = std::min(recordEnd, blockEnd);
        for (std::uint64_t a = begin; a < end; ++a) {
            const std::size_t offset = static_cast<std::size_t>(a - address);
            expected.bytes[offset] = record.bytes[static_cast<std::size_t>(a - record.address)];
            if (!covered[offset]) {
                covered[offset] = true;
                ++expected.covered;
            }
        }
        const bool inside = begin < end && begin == record.address && end == recordEnd;
        usedUp[i] = inside;
        if (walk == FillWalk::kUntilCovered && expected.covered == size)
            break;
    }
    return expected;
}

void fillAndCompare(std::string_view text, const Reference& reference, const CFlashMap& map,
                    FillWalk walk) {
    CAddressDataList image;
    image.loadText(text);
    std::vector<bool> usedUp(reference.records.size(), false);
    const bool bad = !reference.badLines.empty();

    for (std::int32_t index = 0; map.GetBlockSize(index) != 0; ++index) {
        const std::uint32_t address = map.GetBlockAddress(index);
        const std::uint32_t size = map.GetBlockSize(index);
        const std::size_t entriesBefore = image.count();
        std::vector<int> shown;
        FilledBlock filled;
        try {
            filled = FillBlock(
                image, address, size, [&shown](int percent) { shown.push_back(percent); }, walk);
        } catch (const CImageRecordError& error) {
            FUZZ_CHECK(bad);
            FUZZ_CHECK(reference.badLines.count(error.line()) == 1);
            const Record& record = reference.records[static_cast<std::size_t>(error.line() - 1)];
            FUZZ_CHECK(error.address() == record.address);
            // Walking every entry, the first block already meets the first bad one.
            if (walk == FillWalk::kWholeList)
                FUZZ_CHECK(index == 0 && error.line() == *reference.badLines.begin());
            return;
        }
        FUZZ_CHECK(filled.block && filled.block->address() == address);
        FUZZ_CHECK(filled.block->size() == size);
        for (std::size_t i = 0; i < shown.size(); ++i)
            FUZZ_CHECK(shown[i] >= 1 && shown[i] <= 100 && (i == 0 || shown[i] > shown[i - 1]));
        if (walk == FillWalk::kWholeList && entriesBefore > 0)
            FUZZ_CHECK(!shown.empty() && shown.back() == 100);
        if (bad)
            continue;

        const ExpectedBlock expected = layOut(reference, address, size, walk, usedUp);
        FUZZ_CHECK(filled.coveredBytes == expected.covered);
        FUZZ_CHECK(std::memcmp(filled.block->data(), expected.bytes.data(), size) == 0);
        std::size_t left = 0;
        for (bool used : usedUp)
            left += !used;
        FUZZ_CHECK(image.count() == left);
    }
    if (walk == FillWalk::kWholeList && bad && map.GetBlockSize(0) != 0)
        fuzz::fail("a bad record was walked past", __FILE__, __LINE__);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Reference reference = decodeAll(text);

    static const TinyFlash tiny;
    static const CM16C64FlashMap drive;
    static const C8mFlash main;
    fillAndCompare(text, reference, tiny, FillWalk::kUntilCovered);
    fillAndCompare(text, reference, tiny, FillWalk::kWholeList);
    fillAndCompare(text, reference, drive, FillWalk::kWholeList);
    fillAndCompare(text, reference, main, FillWalk::kUntilCovered);
    return 0;
}
