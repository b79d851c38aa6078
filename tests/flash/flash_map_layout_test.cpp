#include "firmware/format_error.h"
#include "flash/flash_map.h"
#include "flash/region_flash_maps.h"
#include "flash/table_flash_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

void PrintTo(const FlashBlock& block, std::ostream* os) {
    *os << std::hex << "{0x" << block.address << ", 0x" << block.size << "}";
}

namespace {

// Blocks that follow one another without a gap, from the block at firstIndex.
struct Span {
    std::int32_t firstIndex = 0;
    std::uint32_t start = 0;
    std::uint32_t end = 0;

    friend bool operator==(const Span&, const Span&) = default;
};

void PrintTo(const Span& span, std::ostream* os) {
    *os << span.firstIndex << std::hex << ": [0x" << span.start << ", 0x" << span.end << ")";
}

std::vector<Span> spansOf(const std::vector<FlashBlock>& blocks) {
    std::vector<Span> spans;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const FlashBlock& b = blocks[i];
        if (!spans.empty() && spans.back().end == b.address)
            spans.back().end += b.size;
        else
            spans.push_back({static_cast<std::int32_t>(i), b.address, b.address + b.size});
    }
    return spans;
}

using MakeMap = std::function<std::unique_ptr<CFlashMap>()>;

template <class Map> MakeMap maker() {
    return [] { return std::make_unique<Map>(); };
}

struct LayoutCase {
    std::string name;
    MakeMap make;
    std::int32_t count;
    FlashBlock first;
    FlashBlock last;
    std::vector<Span> spans;
    // Indices whose block lies below the one before: where a later address
    // window starts.
    std::vector<std::int32_t> descents;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<LayoutCase>& layoutCases() {
    static const std::vector<LayoutCase> cases{
        {"R826",
         maker<CR826FlashMap>(),
         8,
         {0x8000, 0x1000},
         {0xF000, 0x1000},
         {{0, 0x8000, 0x10000}},
         {}},
        {"M16C64",
         maker<CM16C64FlashMap>(),
         7,
         {0x80000, 0x10000},
         {0xE0000, 0x10000},
         {{0, 0x80000, 0xF0000}},
         {}},
        {"TavrinSh2",
         maker<CTavrinSh2Flash>(),
         12,
         {0x40000000, 0x1000},
         {0x40030000, 0x10000},
         {{0, 0x40000000, 0x40040000}},
         {}},
        {"4m", maker<C4mFlash>(), 12, {0x0, 0x10000}, {0x80000, 0x10000}, {{0, 0x0, 0x90000}}, {}},
        {"8m", maker<C8mFlash>(), 19, {0x0, 0x10000}, {0xFC000, 0x4000}, {{0, 0x0, 0x100000}}, {}},
        {"8m2m",
         maker<C8m2mFlash>(),
         32,
         {0x0, 0x10000},
         {0x40030000, 0x10000},
         {{0, 0x0, 0x110000}, {20, 0x40000000, 0x40040000}},
         {}},
        {"Miraz",
         maker<CMirazFlash>(),
         32,
         {0x10000000, 0x10000},
         {0x40030000, 0x10000},
         {{0, 0x10000000, 0x10110000}, {20, 0x40000000, 0x40040000}},
         {}},
        {"Rowan",
         maker<CRowanFlash>(),
         32,
         {0x10000000, 0x10000},
         {0x40030000, 0x10000},
         {{0, 0x10000000, 0x10110000}, {20, 0x40000000, 0x40040000}},
         {}},
        {"2m8m",
         maker<C2m8mFlash>(),
         31,
         {0x0, 0x1000},
         {0x2FC000, 0x4000},
         {{0, 0x0, 0x40000}, {12, 0x200000, 0x300000}},
         {}},
        {"8m16m",
         maker<C8m16mFlash>(),
         35,
         {0x10000000, 0x10000},
         {0x101FC000, 0x4000},
         {{0, 0x10000000, 0x10200000}},
         {}},
        {"Solta",
         maker<CSoltaFlash>(),
         71,
         {0xC0000, 0x10000},
         {0x8D1F0000, 0x10000},
         {{0, 0xC0000, 0xF0000},
          {3, 0x108000, 0x10C000},
          {4, 0x80000000, 0x80200000},
          {39, 0x8D000000, 0x8D200000}},
         {}},
        {"Quill",
         maker<CQuillFlash>(),
         36,
         {0x4000, 0x8000},
         {0x101FC000, 0x4000},
         {{0, 0x4000, 0xC000}, {1, 0x10000000, 0x10200000}},
         {}},
        {"ZT",
         maker<CZTFlash>(),
         36,
         {0x4000, 0x8000},
         {0x101FC000, 0x4000},
         {{0, 0x4000, 0xC000}, {1, 0x10000000, 0x10200000}},
         {}},
        {"Dorian",
         maker<CDorianFlash>(),
         258,
         {0x10000000, 0x10000},
         {0x104000, 0xC000},
         {{0, 0x10000000, 0x11000000}, {256, 0x8000, 0x10000}, {257, 0x104000, 0x110000}},
         {256}},
        {"Yew",
         maker<CYewFlash>(),
         385,
         {0x10000000, 0x10000},
         {0x104000, 0xC000},
         {{0, 0x10000000, 0x11800000}, {384, 0x104000, 0x110000}},
         {384}},
        {"Torvo",
         maker<CTorvoFlash>(),
         385,
         {0x10000000, 0x10000},
         {0x104000, 0xC000},
         {{0, 0x10000000, 0x11800000}, {384, 0x104000, 0x110000}},
         {384}},
    };
    return cases;
}

std::uint32_t thrownValue(const CFlashMap& map, std::int32_t index) {
    try {
        map.GetBlockAddress(index);
    } catch (const CFormatError& error) {
        return error.value();
    }
    ADD_FAILURE() << "GetBlockAddress(" << index << ") did not throw";
    return 0xFFFFFFFF;
}

class FlashMapLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FlashMapLayout, WholeLayoutMatches) {
    const LayoutCase& c = GetParam();
    const std::unique_ptr<CFlashMap> map = c.make();
    const std::vector<FlashBlock> blocks = enumerateBlocks(*map);

    ASSERT_EQ(static_cast<std::int32_t>(blocks.size()), c.count);
    EXPECT_EQ(blocks.front(), c.first);
    EXPECT_EQ(blocks.back(), c.last);
    EXPECT_EQ(spansOf(blocks), c.spans);
}

TEST_P(FlashMapLayout, EndsAtTheEndMarkerAndHasNothingBeforeZero) {
    const LayoutCase& c = GetParam();
    const std::unique_ptr<CFlashMap> map = c.make();

    EXPECT_EQ(map->GetBlockSize(c.count), 0u);
    EXPECT_EQ(thrownValue(*map, c.count), CFormatError::kMalformed);
    for (std::int32_t index : {c.count + 1, c.count + 1000, INT_MAX, -1, -2, INT_MIN}) {
        EXPECT_EQ(map->GetBlockSize(index), 0u) << index;
        EXPECT_EQ(thrownValue(*map, index), CFormatError::kMalformed) << index;
    }
}

TEST_P(FlashMapLayout, AscendsWithinEachWindowAndNeverOverlaps) {
    const LayoutCase& c = GetParam();
    const std::vector<FlashBlock> blocks = enumerateBlocks(*c.make());

    std::vector<std::int32_t> descents;
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        if (blocks[i].address < blocks[i - 1].address)
            descents.push_back(static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(descents, c.descents);

    std::vector<FlashBlock> byAddress = blocks;
    std::sort(byAddress.begin(), byAddress.end(),
              [](const FlashBlock& a, const FlashBlock& b) { return a.address < b.address; });
    for (std::size_t i = 1; i < byAddress.size(); ++i) {
        EXPECT_GE(byAddress[i].address, byAddress[i - 1].address + byAddress[i - 1].size)
            << "block at 0x" << std::hex << byAddress[i].address;
    }
}

TEST_P(FlashMapLayout, StartsWithTheReconnectFlagSet) {
    const std::unique_ptr<CFlashMap> map = GetParam().make();
    EXPECT_TRUE(map->GetReconnect());
    map->SetReconnect(false);
    EXPECT_FALSE(map->GetReconnect());
    map->SetReconnect(true);
    EXPECT_TRUE(map->GetReconnect());
}

INSTANTIATE_TEST_SUITE_P(EveryMap, FlashMapLayout, ::testing::ValuesIn(layoutCases()),
                         [](const auto& info) { return info.param.name; });

TEST(FlashRegionMap, DorianRegionBoundaries) {
    const CDorianFlash map;
    EXPECT_EQ(map.GetBlockAddress(15), 0x100F0000u);
    EXPECT_EQ(map.GetBlockAddress(16), 0x10100000u);
    EXPECT_EQ(map.GetBlockAddress(255), 0x10FF0000u);
    EXPECT_EQ(map.GetBlockSize(255), 0x10000u);
    EXPECT_EQ(map.GetBlockAddress(256), 0x00008000u);
    EXPECT_EQ(map.GetBlockSize(256), 0x8000u);
    EXPECT_EQ(map.GetBlockAddress(257), 0x00104000u);
    EXPECT_EQ(map.GetBlockSize(257), 0xC000u);
    EXPECT_EQ(map.GetBlockSize(258), 0u);
}

TEST(FlashRegionMap, YewAndTorvoRegionBoundaries) {
    const CYewFlash yew;
    const CTorvoFlash torvo;
    for (const CFlashMap* map : std::vector<const CFlashMap*>{&yew, &torvo}) {
        EXPECT_EQ(map->GetBlockAddress(15), 0x100F0000u);
        EXPECT_EQ(map->GetBlockAddress(16), 0x10100000u);
        EXPECT_EQ(map->GetBlockAddress(383), 0x117F0000u);
        EXPECT_EQ(map->GetBlockSize(383), 0x10000u);
        EXPECT_EQ(map->GetBlockAddress(384), 0x00104000u);
        EXPECT_EQ(map->GetBlockSize(384), 0xC000u);
        EXPECT_EQ(map->GetBlockSize(385), 0u);
    }
}

TEST(FlashRegionMap, RegionCountsAreReadableAsBuilt) {
    EXPECT_EQ(CDorianFlash().regions.counts, (std::array<std::uint32_t, 4>{16, 240, 1, 1}));
    EXPECT_EQ(CYewFlash().regions.counts, (std::array<std::uint32_t, 3>{16, 368, 1}));
    EXPECT_EQ(CTorvoFlash().regions.counts, (std::array<std::uint32_t, 3>{16, 368, 1}));
}

TEST(FlashRegionMap, BlocksFollowTheRegionTableOfTheInstance) {
    CDorianFlash map;
    map.regions.counts[1] = 2;
    EXPECT_EQ(map.GetBlockAddress(17), 0x10110000u);
    EXPECT_EQ(map.GetBlockAddress(18), 0x00008000u);
    EXPECT_EQ(map.GetBlockSize(19), 0xC000u);
    EXPECT_EQ(map.GetBlockSize(20), 0u);
    EXPECT_EQ(CDorianFlash().GetBlockSize(20), 0x10000u);
}

} // namespace

namespace {

template <class Map> FlashBlock reportedRange(const CFlashMap& map) {
    const auto& typed = dynamic_cast<const Map&>(map);
    return {typed.GetReservedStart(), typed.GetReservedSize()};
}

struct ReservedCase {
    std::string name;
    MakeMap make;
    std::function<FlashBlock(const CFlashMap&)> reported;
    FlashBlock range;
    std::int32_t block; // the block the range covers
};

void PrintTo(const ReservedCase& c, std::ostream* os) {
    *os << c.name;
}

template <class Map>
ReservedCase reservedCase(std::string name, FlashBlock range, std::int32_t block) {
    return {std::move(name), maker<Map>(), &reportedRange<Map>, range, block};
}

class FlashMapReservedRange : public ::testing::TestWithParam<ReservedCase> {};

// Every address of a run answers as its first, and the address after it
// answers otherwise.
void expectRunsAgree(const CFlashMap& map, const std::vector<std::uint32_t>& addresses) {
    for (std::uint32_t address : addresses) {
        const std::uint64_t end = map.GetReservedRunEnd(address);
        ASSERT_GT(end, address) << std::hex << address;
        ASSERT_LE(end, std::uint64_t{1} << 32);
        const bool reserved = map.IsReservedAddress(address);
        EXPECT_EQ(map.IsReservedAddress(static_cast<std::uint32_t>(end - 1)), reserved)
            << std::hex << address;
        if (end < (std::uint64_t{1} << 32)) {
            EXPECT_NE(map.IsReservedAddress(static_cast<std::uint32_t>(end)), reserved)
                << std::hex << address;
        }
    }
}

TEST_P(FlashMapReservedRange, CoversExactlyItsBlock) {
    const ReservedCase& c = GetParam();
    const std::unique_ptr<CFlashMap> map = c.make();
    EXPECT_EQ(c.reported(*map), c.range);
    EXPECT_EQ((FlashBlock{map->GetBlockAddress(c.block), map->GetBlockSize(c.block)}), c.range);

    const std::uint32_t end = c.range.address + c.range.size;
    EXPECT_FALSE(map->IsReservedAddress(c.range.address - 1));
    EXPECT_TRUE(map->IsReservedAddress(c.range.address));
    EXPECT_TRUE(map->IsReservedAddress(end - 1));
    EXPECT_FALSE(map->IsReservedAddress(end));
    expectRunsAgree(*map, {0, c.range.address - 1, c.range.address, c.range.address + 1, end - 1,
                           end, 0xFFFFFFFF});
    EXPECT_EQ(map->GetReservedRunEnd(c.range.address), end);
}

INSTANTIATE_TEST_SUITE_P(
    EveryMapWithARange, FlashMapReservedRange,
    ::testing::Values(reservedCase<CTavrinSh2Flash>("TavrinSh2", {0x40007000, 0x1000}, 7),
                      reservedCase<C4mFlash>("4m", {0x00020000, 0x10000}, 2),
                      reservedCase<C8m2mFlash>("8m2m", {0x00070000, 0x10000}, 7),
                      reservedCase<CMirazFlash>("Miraz", {0x10070000, 0x10000}, 7),
                      reservedCase<CRowanFlash>("Rowan", {0x10070000, 0x10000}, 7),
                      reservedCase<C8m16mFlash>("8m16m", {0x100D0000, 0x10000}, 13),
                      reservedCase<CSoltaFlash>("Solta", {0x8D130000, 0x10000}, 58),
                      reservedCase<CQuillFlash>("Quill", {0x10170000, 0x10000}, 24),
                      reservedCase<CZTFlash>("ZT", {0x10170000, 0x10000}, 24),
                      reservedCase<CDorianFlash>("Dorian", {0x10060000, 0x10000}, 6),
                      reservedCase<CYewFlash>("Yew", {0x10060000, 0x10000}, 6),
                      reservedCase<CTorvoFlash>("Torvo", {0x10060000, 0x10000}, 6)),
    [](const auto& info) { return info.param.name; });

TEST(FlashMapReservedRange, C8mKeepsTheStartItIsGiven) {
    C8mFlash map;
    CFlashMap& base = map;
    base.SetReservedStart(0x8FF00);
    EXPECT_EQ(map.GetReservedStart(), 0x8FF00u);
    EXPECT_EQ(map.GetReservedSize(), 256u);
    EXPECT_FALSE(map.IsReservedAddress(0x8FEFF));
    EXPECT_TRUE(map.IsReservedAddress(0x8FF00));
    EXPECT_TRUE(map.IsReservedAddress(0x8FFFF));
    EXPECT_FALSE(map.IsReservedAddress(0x90000));

    base.SetReservedStart(0x7FF00);
    EXPECT_TRUE(map.IsReservedAddress(0x7FF80));
    EXPECT_FALSE(map.IsReservedAddress(0x8FF00));
    EXPECT_EQ(map.GetReservedRunEnd(0x7FF80), 0x80000u);
    EXPECT_EQ(map.GetReservedRunEnd(0x10), 0x7FF00u);
    // A range that wraps round the top of the address space.
    base.SetReservedStart(0xFFFFFF80);
    expectRunsAgree(map, {0, 0x7F, 0x80, 0xFFFFFF7F, 0xFFFFFF80, 0xFFFFFFFF});
}

TEST(FlashMapReservedRange, MapsWithoutARangeReserveNothing) {
    const CR826FlashMap r826;
    const CM16C64FlashMap m16c64;
    const C2m8mFlash c2m8m;
    for (const CFlashMap* map : std::vector<const CFlashMap*>{&r826, &m16c64, &c2m8m}) {
        for (const FlashBlock& block : enumerateBlocks(*map)) {
            EXPECT_FALSE(map->IsReservedAddress(block.address));
            EXPECT_FALSE(map->IsReservedAddress(block.address + block.size - 1));
        }
        EXPECT_FALSE(map->IsReservedAddress(0));
        EXPECT_FALSE(map->IsReservedAddress(0xFFFFFFFF));
        EXPECT_EQ(map->GetReservedRunEnd(0), std::uint64_t{1} << 32);
    }
    // Setting a start is meaningless for them and changes nothing.
    CR826FlashMap moved;
    moved.SetReservedStart(0x8000);
    EXPECT_FALSE(moved.IsReservedAddress(0x8000));

    EXPECT_EQ(r826.FindReservedStart(0x8000), 0xFFFFFFFFu);
    EXPECT_EQ(r826.GetReservedStart(), 0u);
    EXPECT_EQ(r826.GetReservedSize(), 0u);
    EXPECT_EQ(m16c64.GetReservedStart(), 0u);
    EXPECT_EQ(m16c64.GetReservedSize(), 0u);
}

} // namespace
