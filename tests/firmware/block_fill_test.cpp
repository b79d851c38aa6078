#include "firmware/block_fill.h"

#include "srecord_lines.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using srecord_lines::bytes;
using srecord_lines::record;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FillPiece {
    std::uint32_t address;
    Bytes data;
};

CAddressDataList imageOf(const std::vector<FillPiece>& pieces, const std::string& extra = "") {
    std::string text = extra;
    for (const FillPiece& p : pieces)
        text += record(3, p.address, p.data) + "\r\n";
    CAddressDataList image;
    image.loadText(text);
    return image;
}

Bytes fillBytesOf(const CAddressData& r) {
    return Bytes(r.data(), r.data() + r.size());
}

// What a flash holds after writing every piece in file order.
std::map<std::uint32_t, std::uint8_t> flashAfter(const std::vector<FillPiece>& pieces) {
    std::map<std::uint32_t, std::uint8_t> flash;
    for (const FillPiece& p : pieces)
        for (std::size_t i = 0; i < p.data.size(); ++i)
            flash[p.address + static_cast<std::uint32_t>(i)] = p.data[i];
    return flash;
}

} // namespace

TEST(BlockFill, RecordStraddlingTwoBlocksServesBothAndStays) {
    CAddressDataList image = imageOf({{12, {1, 2, 3, 4, 5, 6, 7, 8}}});
    FilledBlock first = FillBlock(image, 0, 16);
    EXPECT_EQ(first.block->address(), 0u);
    EXPECT_EQ(fillBytesOf(*first.block), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}));
    EXPECT_EQ(first.coveredBytes, 4u);
    EXPECT_EQ(image.count(), 1u);

    FilledBlock second = FillBlock(image, 16, 16);
    EXPECT_EQ(fillBytesOf(*second.block), (Bytes{5, 6, 7, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(second.coveredBytes, 4u);
    // No single block holds it whole, so no fill uses it up; it stays and later
    // walks pass over it.
    EXPECT_EQ(image.count(), 1u);

    CAddressDataList inside = imageOf({{14, {1, 2, 3, 4}}, {18, {9}}});
    FillBlock(inside, 0, 16);
    EXPECT_EQ(inside.count(), 2u);
    FillBlock(inside, 16, 16);
    EXPECT_EQ(inside.count(), 1u) << "the record wholly inside the second block is used up";
}

TEST(BlockFill, RecordsOutOfAddressOrderLandInPlace) {
    CAddressDataList image = imageOf({{0x1006, {7, 8}}, {0x1000, {1, 2, 3}}, {0x1003, {4, 5, 6}}});
    FilledBlock filled = FillBlock(image, 0x1000, 8);
    EXPECT_EQ(fillBytesOf(*filled.block), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(filled.coveredBytes, 8u);
    EXPECT_TRUE(image.empty());
}

TEST(BlockFill, LaterRecordWins) {
    CAddressDataList image = imageOf({{0, {1, 1, 1, 1}}, {1, {2, 2}}, {2, {3}}});
    EXPECT_EQ(fillBytesOf(*FillBlock(image, 0, 6).block), (Bytes{1, 2, 3, 1, 0xFF, 0xFF}));
}

TEST(BlockFill, RepeatedBytesDoNotCompleteTheBlockEarly) {
    // 2 + 2 bytes copied equal the block size after B, but bytes 2 and 3 are only
    // in C; the block must not go out with them erased.
    CAddressDataList image = imageOf({{0, {0xA0, 0xA1}}, {0, {0xB0, 0xB1}}, {2, {0xC2, 0xC3}}});
    FilledBlock filled = FillBlock(image, 0, 4);
    EXPECT_EQ(fillBytesOf(*filled.block), (Bytes{0xB0, 0xB1, 0xC2, 0xC3}));
    EXPECT_EQ(filled.coveredBytes, 4u);
    EXPECT_TRUE(image.empty());
}

TEST(BlockFill, CompleteBlockStopsTheWalkAndLeavesTheRestUndecoded) {
    CAddressDataList image = imageOf({{0, {1, 2, 3, 4}}, {0x100, {5}}, {2, {9, 9}}});
    std::vector<int> shown;
    FilledBlock filled = FillBlock(image, 0, 4, [&](int percent) { shown.push_back(percent); });
    EXPECT_EQ(fillBytesOf(*filled.block), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(shown, (std::vector<int>{33}));
    ASSERT_EQ(image.count(), 2u);
    EXPECT_FALSE(image.at(image.head()).decoded());

    // Walking the whole image applies the later record too.
    CAddressDataList whole = imageOf({{0, {1, 2, 3, 4}}, {0x100, {5}}, {2, {9, 9}}});
    filled = FillBlock(whole, 0, 4, {}, FillWalk::kWholeList);
    EXPECT_EQ(fillBytesOf(*filled.block), (Bytes{1, 2, 9, 9}));
    EXPECT_EQ(whole.count(), 1u);
}

TEST(BlockFill, ImageOutsideTheBlockGivesAnErasedBlockAndKeepsEveryEntry) {
    CAddressDataList image =
        imageOf({{0x2000, {1, 2}}, {0x0FFE, {3, 4}}}, "S00600004844521B\r\n\r\n");
    image.loadText("S9030000FC\r\n");
    FilledBlock filled = FillBlock(image, 0x1000, 0x1000);
    EXPECT_EQ(fillBytesOf(*filled.block), bytes(0x1000, 0xFF));
    EXPECT_EQ(filled.coveredBytes, 0u);
    EXPECT_EQ(image.count(), 5u);

    CAddressDataList empty;
    filled = FillBlock(empty, 0, 8, [](int) { ADD_FAILURE() << "no entries, no progress"; });
    EXPECT_EQ(fillBytesOf(*filled.block), bytes(8, 0xFF));

    filled = FillBlock(image, 0x2000, 0);
    EXPECT_EQ(filled.block->size(), 0u);
    EXPECT_EQ(filled.coveredBytes, 0u);
    EXPECT_EQ(image.count(), 5u);
}

TEST(BlockFill, ProgressReportsEachRiseOfTheWholePercentage) {
    std::vector<int> shown;
    auto note = [&](int percent) { shown.push_back(percent); };

    CAddressDataList three = imageOf({{0x100, {1}}, {0x200, {2}}, {0x300, {3}}});
    FillBlock(three, 0, 16, note);
    EXPECT_EQ(shown, (std::vector<int>{33, 66, 100}));

    // 250 entries: 2 of every 5 walked steps do not raise the whole percentage.
    std::vector<FillPiece> many;
    for (std::uint32_t i = 0; i < 250; ++i)
        many.push_back({0x1000 + i, {1}});
    CAddressDataList image = imageOf(many);
    shown.clear();
    FillBlock(image, 0, 16, note);
    ASSERT_EQ(shown.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(shown[i], i + 1);

    // Entries removed during the walk still count as walked.
    CAddressDataList used = imageOf({{0, {1}}, {1, {2}}, {0x100, {3}}, {0x200, {4}}});
    shown.clear();
    FillBlock(used, 0, 16, note);
    EXPECT_EQ(shown, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(used.count(), 2u);
}

TEST(BlockFill, BadRecordNamesItsLineAndIsNotTriedAgain) {
    std::string bad = record(1, 0x0004, {1, 2});
    bad.back() = bad.back() == '0' ? '1' : '0';
    CAddressDataList image;
    image.loadText(record(1, 0, {1, 2}) + "\r\n\r\n" + bad + "\r\n");
    try {
        FillBlock(image, 0, 16);
        FAIL() << "no error";
    } catch (const CImageRecordError& e) {
        EXPECT_EQ(e.value(), CFormatError::kMalformed);
        EXPECT_EQ(e.line(), 3);
        EXPECT_EQ(e.address(), 4u);
    }
    EXPECT_EQ(image.count(), 2u) << "the good record was used up before the failure";
    EXPECT_THROW(
        {
            CAddressDataList again;
            again.loadText(bad);
            FillBlock(again, 0, 16);
        },
        CFormatError);
    // The failed record has no bytes to lend, and does not fail a second time.
    FilledBlock filled = FillBlock(image, 0, 16);
    EXPECT_EQ(fillBytesOf(*filled.block), bytes(16, 0xFF));
}

TEST(BlockFill, LowerCaseDataIsAccepted) {
    std::string line = record(1, 0x0000, {0xAB, 0xCD});
    for (std::size_t i = 8; i < 12; ++i)
        line[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
    CAddressDataList image;
    image.loadText(line);
    EXPECT_EQ(fillBytesOf(*FillBlock(image, 0, 2).block), (Bytes{0xAB, 0xCD}));
}

// A whole image of overlapping records in shuffled order laid out over a map of
// blocks gives exactly the flash that writing the records in file order would.
TEST(BlockFill, WholeImageOverManyBlocksMatchesTheFlashItDescribes) {
    std::mt19937 random(7);
    std::vector<FillPiece> pieces;
    for (int i = 0; i < 400; ++i) {
        const std::uint32_t address = random() % 0x3000;
        Bytes data(1 + random() % 40);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        pieces.push_back({address, data});
    }
    const auto flash = flashAfter(pieces);
    const std::uint32_t blockSize = 0x400;

    for (FillWalk walk : {FillWalk::kUntilCovered, FillWalk::kWholeList}) {
        SCOPED_TRACE(static_cast<int>(walk));
        CAddressDataList image = imageOf(pieces);
        for (std::uint32_t start = 0; start < 0x3100; start += blockSize) {
            FilledBlock filled = FillBlock(image, start, blockSize, {}, walk);
            std::uint32_t expectedCovered = 0;
            for (std::uint32_t i = 0; i < blockSize; ++i) {
                const auto byte = flash.find(start + i);
                const std::uint8_t got = filled.block->data()[i];
                if (byte == flash.end()) {
                    ASSERT_EQ(got, 0xFF) << std::hex << start + i;
                    continue;
                }
                ++expectedCovered;
                if (walk == FillWalk::kWholeList) {
                    ASSERT_EQ(got, byte->second) << std::hex << start + i;
                } else {
                    // Stopping at a complete block may leave a later repeat of a
                    // byte out, but the byte always comes from a record holding it.
                    bool fromARecord = false;
                    for (const FillPiece& p : pieces)
                        if (start + i >= p.address && start + i < p.address + p.data.size() &&
                            p.data[start + i - p.address] == got)
                            fromARecord = true;
                    ASSERT_TRUE(fromARecord) << std::hex << start + i;
                }
            }
            EXPECT_EQ(filled.coveredBytes, expectedCovered);
        }
    }
}

// Several megabytes of image in address order: each block walks only what is
// left, so this stays fast.
TEST(BlockFill, LargeImageInAddressOrder) {
    std::string text;
    const std::uint32_t imageSize = 4u << 20;
    Bytes data(32);
    for (std::uint32_t address = 0; address < imageSize; address += 32) {
        for (std::uint32_t i = 0; i < 32; ++i)
            data[i] = static_cast<std::uint8_t>((address + i) * 7);
        text += record(3, address, data) + "\r\n";
    }
    CAddressDataList image;
    ASSERT_EQ(image.loadText(text), static_cast<std::int32_t>(imageSize));
    for (std::uint32_t start = 0; start < imageSize; start += 0x10000) {
        FilledBlock filled = FillBlock(image, start, 0x10000);
        ASSERT_EQ(filled.coveredBytes, 0x10000u);
        ASSERT_EQ(filled.block->data()[0x1234], static_cast<std::uint8_t>((start + 0x1234) * 7));
    }
    EXPECT_TRUE(image.empty());
}
