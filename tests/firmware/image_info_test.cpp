#include "firmware/image_info.h"

#include "firmware/address_data_list.h"
#include "srecord_lines.h"

#include <gtest/gtest.h>

#include <random>

using srecord_lines::bytes;
using srecord_lines::record;

using Lines = std::vector<std::int32_t>;

TEST(ImageInfo, NamesWhatIsWrongWithEachKindOfBadLine) {
    const std::string good = record(1, 0x10, {1, 2, 3});
    std::string lowerCase = good;
    for (char& c : lowerCase)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lowerCase[0] = 'S';
    const struct {
        std::string line;
        BadRecord::Upgrade upgrade;
        std::string reason;
    } cases[] = {
        {"S1070010GG0203E2", BadRecord::Upgrade::Refuses, "'G' in column 9"},
        {good.substr(0, good.size() - 1), BadRecord::Upgrade::Refuses, "odd number"},
        {"S10300", BadRecord::Upgrade::Skips, "too short for an S1 record"},
        {"S3", BadRecord::Upgrade::Skips, "too short for an S3 record"},
        {"S00600004844521C", BadRecord::Upgrade::Skips, "checksum 0x1C, the record needs 0x1B"},
        {"S4030000FC", BadRecord::Upgrade::Skips, "S4 is reserved"},
        {"hello", BadRecord::Upgrade::Skips, "no S-record (5 characters, beginning \"hello\")"},
        {std::string("S1\x01", 3) + good.substr(3), BadRecord::Upgrade::Refuses, "byte 0x01"},
        {record(3, 0xFFFFFFFE, {1, 2, 3, 4}), BadRecord::Upgrade::Writes,
         "past address 0xFFFFFFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const ImageInfo info = AnalyseImage(c.line + "\n");
        ASSERT_EQ(info.badRecords.size(), 1u);
        EXPECT_EQ(info.badRecords[0].line, 1);
        EXPECT_EQ(info.badRecords[0].upgrade, c.upgrade);
        EXPECT_NE(info.badRecords[0].reason.find(c.reason), std::string::npos)
            << info.badRecords[0].reason;
    }
    // Digits of either case decode, as in an upgrade.
    EXPECT_TRUE(AnalyseImage(lowerCase + "\n").good());
}

TEST(ImageInfo, ReadsLinesAsTheLoaderDoes) {
    const std::string a = record(1, 0, {1, 2}), b = record(1, 2, {3, 4});
    // Lines end at LF, with a CR before it taken off; a Ctrl-Z ends the text.
    const std::string mixed = a + "\r\n" + b + "\n" + record(1, 4, {5}) + "\x1A" + "rest";
    const ImageInfo info = AnalyseImage(mixed);
    EXPECT_EQ(info.lines, 3);
    EXPECT_EQ(info.crLfLines, 1);
    EXPECT_EQ(info.lfLines, 1);
    EXPECT_EQ(info.endOfTextAt, mixed.find('\x1A'));
    EXPECT_EQ(info.bytesNotRead, 5u);
    EXPECT_TRUE(info.good());
    EXPECT_EQ(info.ranges, (std::vector<AddressRange>{{0, 5}}));

    // Lines that end in CR alone are one line for the loader, and so for the
    // figures: the whole file is one line that is no valid record.
    const std::string crOnly = "S00600004844521B\r" + a + "\r" + b + "\r";
    CAddressDataList loaded;
    loaded.loadText(crOnly);
    const ImageInfo joined = AnalyseImage(crOnly);
    EXPECT_EQ(joined.lines, static_cast<std::int32_t>(loaded.count()));
    EXPECT_EQ(joined.lines, 1);
    EXPECT_EQ(joined.carriageReturnsInLines, 3u);
    EXPECT_EQ(joined.dataRecords, 0);
    ASSERT_EQ(joined.badRecords.size(), 1u);
    EXPECT_NE(joined.badRecords[0].reason.find("3 carriage returns"), std::string::npos);
    // Beginning with a data record instead, the line is one an upgrade refuses.
    EXPECT_EQ(AnalyseImage(a + "\r" + b + "\r").badRecords.at(0).upgrade,
              BadRecord::Upgrade::Refuses);
}

TEST(ImageInfo, OverlapsAgreeWithCountingEveryAddress) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 200; ++round) {
        std::vector<RecordSpan> spans;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            const std::uint64_t start = random() % 120;
            spans.push_back({{start, start + 1 + random() % 30}, i + 1});
        }
        const auto holds = [&](const RecordSpan& s, std::uint64_t a) {
            return s.range.start <= a && a < s.range.end;
        };
        // Where two or more records hold an address, and where two records
        // hold both an address and the next.
        std::vector<RecordOverlap> expected;
        for (std::uint64_t a = 0; a < 160; ++a) {
            int holding = 0, continuing = 0;
            for (const RecordSpan& s : spans) {
                holding += holds(s, a);
                continuing += a > 0 && holds(s, a - 1) && holds(s, a);
            }
            if (holding < 2)
                continue;
            if (!expected.empty() && expected.back().range.end == a && continuing >= 2)
                ++expected.back().range.end;
            else
                expected.push_back({{a, a + 1}, {}});
        }
        for (RecordOverlap& overlap : expected)
            for (const RecordSpan& s : spans)
                if (s.range.start < overlap.range.end && overlap.range.start < s.range.end)
                    overlap.lines.push_back(s.line);

        const auto found = FindOverlaps(spans);
        ASSERT_EQ(found.size(), expected.size()) << "round " << round;
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].range, expected[i].range) << "round " << round;
            EXPECT_EQ(found[i].lines, expected[i].lines) << "round " << round;
        }
    }
    // Spans that end at the top of the address space.
    const auto top = FindOverlaps({{{0xFFFFFFF0, 0x100000000}, 4}, {{0xFFFFFFF8, 0x100000000}, 5}});
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].range, (AddressRange{0xFFFFFFF8, 0x100000000}));
}

TEST(ImageInfo, ManyOverlappingRecordsAreFoundInOnePass) {
    // 200000 records, each overlapping the next by half: a pairwise comparison
    // would not end in any reasonable time.
    std::string text;
    constexpr std::uint32_t kRecords = 200000;
    for (std::uint32_t i = 0; i < kRecords; ++i)
        text += record(3, i * 16, bytes(32, static_cast<std::uint8_t>(i))) + "\n";
    const ImageInfo info = AnalyseImage(text);
    EXPECT_EQ(info.dataRecords, static_cast<std::int32_t>(kRecords));
    ASSERT_EQ(info.overlaps.size(), kRecords - 1);
    EXPECT_EQ(info.overlaps[1234].range, (AddressRange{1235 * 16, 1236 * 16}));
    EXPECT_EQ(info.overlaps[1234].lines, (Lines{1235, 1236}));
    EXPECT_EQ(info.ranges, (std::vector<AddressRange>{{0, kRecords * 16 + 16}}));
}
