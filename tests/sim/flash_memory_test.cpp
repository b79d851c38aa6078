#include "sim/erase_geometry.h"
#include "sim/flash_memory.h"
#include "sim/srecord_io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

using sim::DataRun;
using sim::FlashMemory;

namespace {

FlashMemory smallFlash() {
    // Two 4 KiB blocks, a gap, then one 8 KiB block.
    return FlashMemory(sim::ParseEraseBlocks("0:0x1000*2,0x4000:0x2000"));
}

void put(FlashMemory& flash, std::uint32_t address, std::vector<std::uint8_t> bytes) {
    flash.program(address, bytes.data(), bytes.size());
}

} // namespace

TEST(FlashMemory, ProgrammingOnlyClearsBits) {
    FlashMemory flash = smallFlash();
    put(flash, 0x10, {0x0F, 0x3C});
    put(flash, 0x10, {0xF0, 0xFF});
    EXPECT_EQ(flash.read(0x10), 0x00);
    EXPECT_EQ(flash.read(0x11), 0x3C);
    EXPECT_EQ(flash.read(0x12), 0xFF);
}

TEST(FlashMemory, RunsAcrossPagesReadBackAsWrittenAndAllOnesTakeNoPage) {
    FlashMemory flash = smallFlash();
    std::vector<std::uint8_t> bytes(3 * FlashMemory::kPageSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    bytes[5] = 0xFF;
    flash.program(0x0F80, bytes.data(), bytes.size()); // starts and ends mid-page
    std::vector<std::uint8_t> back(bytes.size() + 0x100, 0);
    flash.read(0x0F00, back.data(), back.size());
    for (std::size_t i = 0; i < 0x80; ++i)
        ASSERT_EQ(back[i], 0xFF) << i;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(back[0x80 + i], bytes[i]) << i;
    for (std::size_t i = 0x80 + bytes.size(); i < back.size(); ++i)
        ASSERT_EQ(back[i], 0xFF) << i;

    FlashMemory blank = smallFlash();
    const std::vector<std::uint8_t> ones(2 * FlashMemory::kPageSize, 0xFF);
    blank.program(0x800, ones.data(), ones.size());
    EXPECT_EQ(blank.pagesInUse(), 0u);
}

TEST(FlashMemory, EraseBlockErasesTheWholeHoldingBlockOnly) {
    FlashMemory flash = smallFlash();
    put(flash, 0x0FFF, {0x00, 0x00}); // last byte of block 0, first of block 1
    put(flash, 0x1FFF, {0x00});
    EXPECT_TRUE(flash.eraseBlockAt(0x1800));
    EXPECT_EQ(flash.read(0x0FFF), 0x00);
    EXPECT_EQ(flash.read(0x1000), 0xFF);
    EXPECT_EQ(flash.read(0x1FFF), 0xFF);
    EXPECT_FALSE(flash.eraseBlockAt(0x3000)); // the gap

    put(flash, 0x4000, {1});
    put(flash, 0x5FFF, {2});
    flash.eraseBlocksTouching(0x5000, 0x5000);
    EXPECT_EQ(flash.read(0x4000), 0xFF);
    EXPECT_EQ(flash.read(0x5FFF), 0xFF);
    EXPECT_EQ(flash.read(0x0FFF), 0x00);
}

TEST(FlashMemory, CoversOnlyContiguousBlocks) {
    FlashMemory flash = smallFlash();
    EXPECT_TRUE(flash.covers(0x0F00, 0x200));  // across two adjacent blocks
    EXPECT_FALSE(flash.covers(0x1F00, 0x200)); // into the gap
    EXPECT_FALSE(flash.covers(0x5FFF, 2));     // past the end
    EXPECT_TRUE(flash.covers(0x5FFF, 1));
}

TEST(FlashMemory, LargeFlashStaysSparseAndSumsQuickly) {
    FlashMemory flash(sim::StandardEraseBlocks("SX-T25")); // 24 MiB and more
    put(flash, 0x117FFFFF, {0x00});
    put(flash, 0x10000000, {0x01});
    EXPECT_EQ(flash.pagesInUse(), 2u);
    // All of memory: 2^32 bytes of 0xFF sum to 0 modulo 2^32.
    EXPECT_EQ(flash.checksum(0, 0xFFFFFFFFu), 0u - 0xFFu - 0xFEu);
    EXPECT_EQ(flash.checksum(0x10000000, 0x10000001), 0x01u + 0xFFu);
    EXPECT_EQ(flash.checksum(0x117FFFFF, 0x117FFFFF), 0u);

    flash.eraseAll();
    EXPECT_EQ(flash.pagesInUse(), 0u);
    put(flash, 0x10000010, {0xFF, 0xFF});
    EXPECT_EQ(flash.pagesInUse(), 0u);
    put(flash, 0x10000010, {0x00});
    flash.eraseRange(0x10000000, 0x1000FFFF);
    EXPECT_EQ(flash.pagesInUse(), 0u);
}

TEST(FlashMemory, MarkersAndRuns) {
    FlashMemory flash = smallFlash();
    flash.fillMarkers();
    std::string marker(16, '\0');
    flash.read(0x4000, reinterpret_cast<std::uint8_t*>(marker.data()), 16);
    EXPECT_EQ(marker, std::string("OLD FW 00004000") + '\0');

    flash.eraseAll();
    put(flash, 0x0FFE, {1, 2, 3, 4}); // one run across a page boundary
    put(flash, 0x4000, {5});
    const auto runs = flash.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].address, 0x0FFEu);
    EXPECT_EQ(runs[0].bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(runs[1].address, 0x4000u);
}

TEST(SRecords, WriterSplitsRunsIntoShortS3Records) {
    EXPECT_EQ(sim::WriteSRecords("", {{0x1000, {0x01, 0x02}}}),
              "S0030000FC\nS307000010000102E5\nS70500000000FA\n");

    std::vector<std::uint8_t> forty(40);
    for (std::size_t i = 0; i < forty.size(); ++i)
        forty[i] = static_cast<std::uint8_t>(i);
    const std::string text = sim::WriteSRecords("MAIN", {{0x80000000, forty}, {0x90, {0xAA}}});
    const auto back = sim::ReadSRecords(text);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].address, 0x80000000u);
    EXPECT_EQ(back[0].bytes.size(), 32u);
    EXPECT_EQ(back[1].address, 0x80000020u);
    EXPECT_EQ(back[1].bytes.size(), 8u);
    EXPECT_EQ(back[1].bytes.front(), 32);
    EXPECT_EQ(back[2].address, 0x90u);
    EXPECT_EQ(text.substr(0, 2), "S0");
}

TEST(SRecords, ReaderTakesEveryDataRecordAndRejectsDamage) {
    const auto runs = sim::ReadSRecords("S00600004844521B\r\n\nS1051000AABB85\n"
                                        "S205012345CCC5\nS9030000FC\n");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].address, 0x1000u);
    EXPECT_EQ(runs[0].bytes, (std::vector<std::uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(runs[1].address, 0x012345u);

    try {
        sim::ReadSRecords("S0030000FC\nS1051000AABB84\n");
        FAIL() << "a bad checksum was accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos);
    }
    EXPECT_THROW(sim::ReadSRecords("S1061000AABB85\n"), std::invalid_argument); // count
    EXPECT_THROW(sim::ReadSRecords("S10510G0AABB85\n"), std::invalid_argument); // digit
    EXPECT_THROW(sim::ReadSRecords("X1051000AABB85\n"), std::invalid_argument);
}
