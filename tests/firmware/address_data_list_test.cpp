#include "firmware/address_data_list.h"

#include "firmware/file_open_error.h"
#include "srecord_lines.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using srecord_lines::record;
using namespace testing_support;

namespace {

// An entry that notes when it is deleted.
class Tracked : public CAddressDataEx {
public:
    Tracked(int id, std::vector<int>& deleted) : id_(id), deleted_(deleted) {}
    ~Tracked() override { deleted_.push_back(id_); }

private:
    int id_;
    std::vector<int>& deleted_;
};

std::vector<std::uint32_t> addresses(CAddressDataList& list) {
    std::vector<std::uint32_t> result;
    for (auto p = list.head(); p != list.end(); ++p)
        result.push_back(list.at(p).address());
    return result;
}

} // namespace

TEST(AddressDataList, OneEntryForEveryLineWhateverItsEnd) {
    CAddressDataList list;
    const std::string text = "S00600004844521B\r\n" + record(1, 0x10, {1, 2, 3}) + "\n\r\n" +
                             record(2, 0x20, {4}) + "\r\n" + "S9030000FC"; // no end on the last
    EXPECT_EQ(list.loadText(text), 4);
    ASSERT_EQ(list.count(), 5u);
    EXPECT_EQ(addresses(list), (std::vector<std::uint32_t>{0, 0x10, 0, 0x20, 0}));
    std::int32_t line = 0;
    for (auto p = list.head(); p != list.end(); ++p)
        EXPECT_EQ(list.at(p).line(), ++line);
    // Nothing is decoded yet, and the CR of a CR LF is not part of the record.
    auto second = std::next(list.head());
    EXPECT_FALSE(list.at(second).decoded());
    EXPECT_NO_THROW(list.at(second).decodeStrict());
}

TEST(AddressDataList, HeaderEndAndBlankLinesAddEmptyEntriesAndNoBytes) {
    CAddressDataList list;
    EXPECT_EQ(list.loadText("S00600004844521B\r\n\r\n   \r\nS5030004F8\r\nS70500000000FA\r\n"
                            "S804000000FB\r\nS9030000FC\r\n\r\n"),
              0);
    EXPECT_EQ(list.count(), 8u);
    for (auto p = list.head(); p != list.end(); ++p) {
        EXPECT_EQ(list.at(p).address(), 0u);
        EXPECT_EQ(list.at(p).textLength(), 0);
    }
    EXPECT_EQ(list.loadText(""), 0);
    EXPECT_EQ(list.count(), 8u);
}

TEST(AddressDataList, TotalCountsHalfTheDataDigitsOfEveryLine) {
    CAddressDataList list;
    std::string odd = record(1, 0x100, {0xAA, 0xBB, 0xCC});
    odd.erase(8, 1); // five data digits, a malformed record that still counts two bytes
    EXPECT_EQ(list.loadText(record(3, 0x100000, std::vector<std::uint8_t>(32, 1)) + "\n" + odd),
              34);
}

TEST(AddressDataList, CtrlZEndsTheText) {
    CAddressDataList list;
    EXPECT_EQ(list.loadText(record(1, 0, {1}) + "\r\n\x1A" + record(1, 0, {2}) + "\r\n"), 1);
    EXPECT_EQ(list.count(), 1u);
}

TEST(AddressDataList, LoadsAFileByItsWindowsName) {
    ScratchDir dir;
    writeFile(dir.file("Images/FIRM.MOT"), record(1, 0x1234, {1, 2}) + "\r\nS9030000FC\r\n");
    CAddressDataList list;
    EXPECT_EQ(list.load(dir.path() + "\\images\\firm.mot"), 2);
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(list.at(list.head()).address(), 0x1234u);
}

TEST(AddressDataList, LoadsTheSampleImage) {
    CAddressDataList list;
    EXPECT_EQ(list.load(std::string(REFIRM_SOURCE_DIR) + "/examples/images/SAMPLE.MOT"), 96);
    EXPECT_EQ(list.count(), 9u);
}

TEST(AddressDataList, UnreadableFileRaisesItsErrorCodeAndAddsNothing) {
    ScratchDir dir;
    CAddressDataList list;
    list.loadText(record(1, 0x10, {1}));
    try {
        list.load(dir.file("missing.MOT"));
        FAIL() << "no error";
    } catch (const CFileOpenError& e) {
        EXPECT_EQ(e.code(), 2u); // file not found
    }
    try {
        list.load(dir.path());
        FAIL() << "no error";
    } catch (const CFileOpenError& e) {
        EXPECT_EQ(e.code(), 5u); // access denied, as a directory gives on Windows
    }
    EXPECT_EQ(list.count(), 1u);
}

TEST(AddressDataList, PositionsAndOwnership) {
    std::vector<int> deleted;
    {
        CAddressDataList list;
        EXPECT_THROW(list.at(list.head()), std::invalid_argument);
        EXPECT_THROW(list.remove(list.end()), std::invalid_argument);
        EXPECT_THROW(list.append(nullptr), std::invalid_argument);
        for (int id = 1; id <= 4; ++id)
            list.append(std::make_unique<Tracked>(id, deleted));
        auto next = list.remove(std::next(list.head()));
        EXPECT_EQ(deleted, (std::vector<int>{2}));
        EXPECT_EQ(list.remove(next), std::prev(list.end()));
        EXPECT_EQ(list.count(), 2u);
    }
    EXPECT_EQ(deleted, (std::vector<int>{2, 3, 1, 4})); // the rest head first
}

namespace {

struct Outcome {
    std::uint32_t address;
    std::int32_t line;
    std::int32_t textLength;
    bool decodable;
    bool lenient;                   // decode() passes
    bool strict;                    // decodeStrict() passes
    std::vector<std::uint8_t> data; // after decode()
    bool operator==(const Outcome&) const = default;
};

bool passes(CAddressDataEx& entry, bool strict) {
    try {
        strict ? entry.decodeStrict() : entry.decode();
        return true;
    } catch (const CFormatError&) {
        return false;
    }
}

// What each entry of the list gives, through both decodes (each on its own
// load, as the decoded flag is shared).
std::vector<Outcome> outcomes(const std::function<void(CAddressDataList&)>& load) {
    CAddressDataList lenient;
    CAddressDataList strict;
    load(lenient);
    load(strict);
    std::vector<Outcome> result;
    for (auto p = lenient.head(), q = strict.head(); p != lenient.end(); ++p, ++q) {
        CAddressDataEx& entry = lenient.at(p);
        Outcome o{entry.address(),
                  entry.line(),
                  entry.textLength(),
                  entry.decodable(),
                  passes(entry, false),
                  passes(strict.at(q), true),
                  {}};
        o.data.assign(entry.data(), entry.data() + entry.size());
        result.push_back(std::move(o));
    }
    return result;
}

} // namespace

// The loader turns digits into bytes as it reads; its records must behave as
// records that kept their text and decode it on first use.
TEST(AddressDataList, LoadedRecordsDecodeAsParsedOnes) {
    std::string lowerData = record(1, 0x10, {0xAB, 0xCD});
    lowerData[8] = 'a';
    lowerData[9] = 'b';
    std::string badChecksum = record(1, 0x20, {1, 2});
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    std::string odd = record(1, 0x30, {1, 2});
    odd.erase(8, 1);
    std::string nonDigit = record(1, 0x40, {1, 2});
    nonDigit[9] = 'G';
    std::string badAddress = record(1, 0x50, {1, 2});
    badAddress[5] = 'x';
    const std::vector<std::string> lines = {record(3, 0x10000000, {1, 2, 3}),
                                            lowerData,
                                            badChecksum,
                                            odd,
                                            nonDigit,
                                            badAddress,
                                            "S00600004844521B",
                                            "",
                                            "S1",
                                            record(1, 0x60, {})};

    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const auto loaded = outcomes([&](CAddressDataList& list) { list.loadText(line + "\r\n"); });
        const auto parsed = outcomes([&](CAddressDataList& list) {
            auto entry = std::make_unique<CAddressDataEx>(1);
            entry->parse(line);
            list.append(std::move(entry));
        });
        EXPECT_EQ(loaded, parsed);
    }
}

// Files are read in pieces of 1 MiB: lines that run across a piece's end, a CR
// LF split by one, and a line longer than a piece come out as from the whole
// text at once.
TEST(AddressDataList, LinesAcrossReadPiecesLoadAsTheWholeText) {
    const std::string line = record(3, 0x10000000, std::vector<std::uint8_t>(16, 0x5A));
    std::string text;
    const std::size_t piece = 1 << 20;
    auto padTo = [&](std::size_t end) {
        for (std::uint32_t address = 0; text.size() + line.size() + 2 < end; address += 16)
            text += record(3, address, std::vector<std::uint8_t>(16, 0x11)) + "\r\n";
        text += std::string(end - text.size(), '\n');
    };
    padTo(piece - 10);
    text += line + "\r\n"; // runs across the first piece's end
    padTo(2 * piece - 1 - line.size());
    text += line + "\r\n"; // the CR the last byte of a piece, its LF the next one's first
    text += record(3, 0x20000000, std::vector<std::uint8_t>(600000, 0x33)) + "\r\n";
    text += line; // the last line, without an end

    ScratchDir dir;
    writeFile(dir.file("big.mot"), text);
    const auto fromFile = outcomes([&](CAddressDataList& list) { list.load(dir.file("big.mot")); });
    const auto fromText = outcomes([&](CAddressDataList& list) { list.loadText(text); });
    EXPECT_EQ(fromFile, fromText);
    ASSERT_FALSE(fromFile.empty());
    EXPECT_EQ(fromFile.back().data.size(), 16u);
}

// Records are made thousands at a time and their room goes back once the last
// of them is gone: records taken out across many such groups, in an order that
// empties groups while their neighbours still live, leave the rest as loaded.
TEST(AddressDataList, RecordsOutliveTheirNeighboursBeingTakenOut) {
    constexpr std::uint32_t kRecords = 20000;
    std::string text;
    for (std::uint32_t i = 0; i < kRecords; ++i)
        text += record(3, 0x1000 + 64 * i,
                       {static_cast<std::uint8_t>(i), 0xA5, static_cast<std::uint8_t>(i >> 8)}) +
                "\r\n";
    CAddressDataList list;
    list.loadText(text);
    ASSERT_EQ(list.count(), kRecords);

    // Every record of the first half, then every odd one of the second half.
    std::uint32_t index = 0;
    for (auto p = list.head(); p != list.end(); ++index) {
        if (index < kRecords / 2 || index % 2 == 1)
            p = list.remove(p);
        else
            ++p;
    }
    ASSERT_EQ(list.count(), kRecords / 4);
    index = kRecords / 2;
    for (auto p = list.head(); p != list.end(); ++p, index += 2) {
        CAddressDataEx& entry = list.at(p);
        entry.decode();
        ASSERT_EQ(entry.address(), 0x1000 + 64 * index);
        ASSERT_EQ(entry.line(), static_cast<std::int32_t>(index + 1));
        ASSERT_EQ(entry.size(), 3u);
        EXPECT_EQ(entry.data()[0], static_cast<std::uint8_t>(index));
        EXPECT_EQ(entry.data()[2], static_cast<std::uint8_t>(index >> 8));
    }
    // More loaded after the removals joins the rest.
    list.loadText(record(1, 0x20, {7}) + "\r\n");
    EXPECT_EQ(list.count(), kRecords / 4 + 1);
    list.clear();
    EXPECT_TRUE(list.empty());
}
