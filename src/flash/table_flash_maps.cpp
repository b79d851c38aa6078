#include "flash/table_flash_maps.h"

#include <array>

namespace {

// Rows as {first block address, block count, block size}.

constexpr std::array<FlashBlockRun, 1> kR826Runs{{
    {0x00008000, 8, 0x1000},
}};
static_assert(blockCount(kR826Runs) == 8);

constexpr std::array<FlashBlockRun, 1> kM16C64Runs{{
    {0x00080000, 7, 0x10000},
}};
static_assert(blockCount(kM16C64Runs) == 7);

constexpr std::array<FlashBlockRun, 3> kTavrinSh2Runs{{
    {0x40000000, 8, 0x1000},
    {0x40008000, 1, 0x8000},
    {0x40010000, 3, 0x10000},
}};
static_assert(blockCount(kTavrinSh2Runs) == 12);

constexpr std::array<FlashBlockRun, 5> k4mRuns{{
    {0x00000000, 7, 0x10000},
    {0x00070000, 1, 0x8000},
    {0x00078000, 2, 0x2000},
    {0x0007C000, 1, 0x4000},
    {0x00080000, 1, 0x10000},
}};
static_assert(blockCount(k4mRuns) == 12);

constexpr std::array<FlashBlockRun, 4> k8mRuns{{
    {0x00000000, 15, 0x10000},
    {0x000F0000, 1, 0x8000},
    {0x000F8000, 2, 0x2000},
    {0x000FC000, 1, 0x4000},
}};
static_assert(blockCount(k8mRuns) == 19);

// The 8 MBit part of C8mFlash and one more 64 KiB block, then the 2 MBit
// part in the 0x40000000 window.
constexpr std::array<FlashBlockRun, 8> k8m2mRuns{{
    {0x00000000, 15, 0x10000},
    {0x000F0000, 1, 0x8000},
    {0x000F8000, 2, 0x2000},
    {0x000FC000, 1, 0x4000},
    {0x00100000, 1, 0x10000},
    {0x40000000, 8, 0x1000},
    {0x40008000, 1, 0x8000},
    {0x40010000, 3, 0x10000},
}};
static_assert(blockCount(k8m2mRuns) == 32);

// The C8m2mFlash layout with its first part moved to 0x10000000.
constexpr std::array<FlashBlockRun, 8> kMirazRuns{{
    {0x10000000, 15, 0x10000},
    {0x100F0000, 1, 0x8000},
    {0x100F8000, 2, 0x2000},
    {0x100FC000, 1, 0x4000},
    {0x10100000, 1, 0x10000},
    {0x40000000, 8, 0x1000},
    {0x40008000, 1, 0x8000},
    {0x40010000, 3, 0x10000},
}};
static_assert(blockCount(kMirazRuns) == 32);

constexpr std::array<FlashBlockRun, 7> k2m8mRuns{{
    {0x00000000, 8, 0x1000},
    {0x00008000, 1, 0x8000},
    {0x00010000, 3, 0x10000},
    {0x00200000, 15, 0x10000},
    {0x002F0000, 1, 0x8000},
    {0x002F8000, 2, 0x2000},
    {0x002FC000, 1, 0x4000},
}};
static_assert(blockCount(k2m8mRuns) == 31);

constexpr std::array<FlashBlockRun, 4> k8m16mRuns{{
    {0x10000000, 31, 0x10000},
    {0x101F0000, 1, 0x8000},
    {0x101F8000, 2, 0x2000},
    {0x101FC000, 1, 0x4000},
}};
static_assert(blockCount(k8m16mRuns) == 35);

constexpr std::array<FlashBlockRun, 7> kSoltaRuns{{
    {0x000C0000, 3, 0x10000},
    {0x00108000, 1, 0x4000},
    {0x80000000, 31, 0x10000},
    {0x801F0000, 1, 0x8000},
    {0x801F8000, 2, 0x2000},
    {0x801FC000, 1, 0x4000},
    {0x8D000000, 32, 0x10000},
}};
static_assert(blockCount(kSoltaRuns) == 71);

// One 32 KiB block low in the address space, then 2 MiB at 0x10000000 that
// stop short of 0x10200000.
constexpr std::array<FlashBlockRun, 5> kQuillRuns{{
    {0x00004000, 1, 0x8000},
    {0x10000000, 31, 0x10000},
    {0x101F0000, 1, 0x8000},
    {0x101F8000, 2, 0x2000},
    {0x101FC000, 1, 0x4000},
}};
static_assert(blockCount(kQuillRuns) == 36);

} // namespace

namespace flash_layouts {

constexpr FlashTableLayout kR826{kR826Runs};
constexpr FlashTableLayout kM16C64{kM16C64Runs};
constexpr FlashTableLayout kTavrinSh2{kTavrinSh2Runs, 0x40007000, 0x1000}; // block 7
constexpr FlashTableLayout k4m{k4mRuns, 0x00020000, 0x10000};              // block 2
// The reserved range moves with the product, see C8mFlash.
constexpr FlashTableLayout k8m{k8mRuns};
constexpr FlashTableLayout k8m2m{k8m2mRuns, 0x00070000, 0x10000};   // block 7
constexpr FlashTableLayout kMiraz{kMirazRuns, 0x10070000, 0x10000}; // block 7
constexpr FlashTableLayout k2m8m{k2m8mRuns};
constexpr FlashTableLayout k8m16m{k8m16mRuns, 0x100D0000, 0x10000}; // block 13
constexpr FlashTableLayout kSolta{kSoltaRuns, 0x8D130000, 0x10000}; // block 58
constexpr FlashTableLayout kQuill{kQuillRuns, 0x10170000, 0x10000}; // block 24

} // namespace flash_layouts
