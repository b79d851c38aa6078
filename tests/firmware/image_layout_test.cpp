#include "firmware/image_layout.h"

#include "firmware/block_fill.h"
#include "srecord_lines.h"

#include <gtest/gtest.h>

#include <map>

using srecord_lines::bytes;
using srecord_lines::record;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Ranges = std::vector<AddressRange>;

// Four blocks of 0x100 from 0x1000, then one of 0x200 at 0x2000 (a second
// device), listed in that order or the second device first; bytes
// 0x1180..0x118F are reserved.
class SmallMap : public CFlashMap {
public:
    explicit SmallMap(bool secondDeviceFirst = false) {
        const FlashBlockRun first{0x1000, 4, 0x100}, second{0x2000, 1, 0x200};
        runs_ = secondDeviceFirst ? std::vector{second, first} : std::vector{first, second};
    }
    std::uint32_t GetBlockAddress(std::int32_t index) const override {
        return blockAddressIn(runs_, index);
    }
    std::uint32_t GetBlockSize(std::int32_t index) const override {
        return blockSizeIn(runs_, index);
    }
    bool IsReservedAddress(std::uint32_t address) const override {
        return inReservedRange(address, 0x1180, 0x10);
    }

private:
    std::vector<FlashBlockRun> runs_;
};

struct LayoutPiece {
    std::uint32_t address;
    Bytes data;
};

std::string imageText(const std::vector<LayoutPiece>& pieces) {
    std::string text = "S00600004844521B\r\n";
    for (const LayoutPiece& p : pieces)
        text += record(3, p.address, p.data) + "\r\n";
    return text + "S70500000000FA\r\n";
}

CAddressDataList load(const std::string& text) {
    CAddressDataList image;
    image.loadText(text);
    return image;
}

struct Laid {
    ImageLayout layout;
    std::map<std::uint32_t, Bytes> written; // the callback's bytes by block address
};

Laid layOut(const std::string& text, const CFlashMap& map) {
    CAddressDataList image = load(text);
    Laid laid;
    laid.layout = LayOutImage(image, map, {}, [&](const BlockLayout& block, const CAddressData& b) {
        EXPECT_EQ(block.address, b.address());
        EXPECT_EQ(block.size, b.size());
        laid.written[b.address()] = Bytes(b.data(), b.data() + b.size());
    });
    return laid;
}

std::vector<std::int32_t> writtenIndexes(const ImageLayout& layout) {
    std::vector<std::int32_t> indexes;
    for (const BlockLayout& block : layout.blocks)
        if (block.written())
            indexes.push_back(block.index);
    return indexes;
}

} // namespace

TEST(ImageLayout, ListsEveryBlockAndTheBytesNoBlockTakes) {
    const std::string text = imageText({
        {0x0F00, bytes(0x20, 1)}, // before the map
        {0x10F8, bytes(0x10, 2)}, // across the border of blocks 0 and 1
        {0x1170, bytes(0x20, 3)}, // into the reserved bytes
        {0x13F0, bytes(0x20, 4)}, // past the end of the first device
        {0x2100, bytes(0x10, 5)}, // inside the second device
        {0x3000, bytes(0x08, 6)}, // after the map
    });
    for (const bool secondDeviceFirst : {false, true}) {
        SCOPED_TRACE(secondDeviceFirst);
        const Laid laid = layOut(text, SmallMap(secondDeviceFirst));
        const ImageLayout& layout = laid.layout;
        ASSERT_EQ(layout.blocks.size(), 5u);
        const std::uint32_t base = secondDeviceFirst ? 1 : 0;
        const std::int32_t second = secondDeviceFirst ? 0 : 4;
        EXPECT_EQ(layout.blocks[base + 1].address, 0x1100u);
        EXPECT_EQ(layout.blocks[base + 0].coveredBytes, 8u);
        EXPECT_EQ(layout.blocks[base + 1].coveredBytes, 8u + 0x20);
        EXPECT_FALSE(layout.blocks[base + 2].written());
        EXPECT_EQ(layout.blocks[base + 3].coveredBytes, 0x10u);
        EXPECT_EQ(layout.blocks[static_cast<std::size_t>(second)].coveredBytes, 0x10u);
        EXPECT_EQ(layout.writtenBlocks(), 4u);
        EXPECT_EQ(layout.writtenBytes(), 3u * 0x100 + 0x200);
        EXPECT_EQ(laid.written.size(), 4u);

        EXPECT_EQ(layout.outsideBlocks,
                  (Ranges{{0x0F00, 0x0F20}, {0x1400, 0x1410}, {0x3000, 0x3008}}));
        EXPECT_EQ(layout.reserved, (Ranges{{0x1180, 0x1190}}));
    }
}

TEST(ImageLayout, WrittenBytesAreWhatFillBlockMakesOfTheImage) {
    // Out of address order, overlapping, and a record after a block is already
    // covered: the walk stops there, so that record is not used in that block.
    const std::string text = imageText({
        {0x1000, bytes(0x100, 0xA0)},
        {0x1010, bytes(0x10, 0xB1)},
        {0x1205, {1, 2, 3, 4, 5}},
        {0x2000, bytes(0x40, 0xC0)},
        {0x1203, {9, 9, 9}},
        {0x1300, bytes(0x80, 0xD0)},
    });
    const SmallMap map;
    const Laid laid = layOut(text, map);

    CAddressDataList image = load(text);
    std::map<std::uint32_t, Bytes> expected;
    for (std::int32_t i = 0; map.GetBlockSize(i) != 0; ++i) {
        const FilledBlock filled = FillBlock(image, map.GetBlockAddress(i), map.GetBlockSize(i));
        if (filled.coveredBytes > 0)
            expected[filled.block->address()] =
                Bytes(filled.block->data(), filled.block->data() + filled.block->size());
    }
    EXPECT_EQ(laid.written, expected);
    EXPECT_EQ(writtenIndexes(laid.layout), (std::vector<std::int32_t>{0, 2, 3, 4}));
    EXPECT_EQ(laid.written.at(0x1000)[0x10], 0xA0) << "the block was covered before line 3";
    EXPECT_EQ(laid.written.at(0x1200)[5], 9) << "the later record wins";
    EXPECT_EQ(laid.written.at(0x1200)[6], 2);
    EXPECT_EQ(laid.written.at(0x1300)[0x80], 0xFF);
    EXPECT_TRUE(laid.layout.outsideBlocks.empty());
}

TEST(ImageLayout, BadRecordStopsTheLayoutBeforeAnyBlock) {
    std::string text = imageText({{0x1000, bytes(0x10, 1)}, {0x3000, bytes(4, 2)}});
    const std::size_t second = text.find("S3", text.find("S3") + 1);
    text[second + 14] = 'Z'; // a data digit of line 3
    CAddressDataList image = load(text);
    bool called = false;
    int highest = 0;
    try {
        LayOutImage(
            image, SmallMap(), [&](int percent) { highest = percent; },
            [&](const BlockLayout&, const CAddressData&) { called = true; });
        FAIL() << "no error";
    } catch (const CImageRecordError& error) {
        EXPECT_EQ(error.line(), 3);
        EXPECT_EQ(error.address(), 0x3000u);
        EXPECT_EQ(error.value(), CFormatError::kMalformed);
    }
    EXPECT_FALSE(called);
    EXPECT_LT(highest, 50) << "no block was filled";
}

TEST(ImageLayout, ProgressRisesThroughRecordsAndBlocksAndAnEmptyImageWritesNothing) {
    std::vector<int> seen;
    CAddressDataList image = load(imageText({}));
    const ImageLayout layout =
        LayOutImage(image, SmallMap(), [&](int percent) { seen.push_back(percent); });
    // Two records (S0, S7) are decoded, then five blocks filled.
    EXPECT_EQ(seen, (std::vector<int>{25, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(layout.blocks.size(), 5u);
    EXPECT_EQ(layout.writtenBlocks(), 0u);
    EXPECT_TRUE(layout.outsideBlocks.empty());
    EXPECT_TRUE(layout.reserved.empty());
}
