#include "flash/region_flash_maps.h"

namespace {

// Regions as {base, block count, block size}. The last regions sit in a low
// address window of their own, after the main flash in block numbering.

constexpr std::array<FlashBlockRun, 4> kDorianRegions{{
    {0x10000000, 16, 0x10000},
    {0x10100000, 240, 0x10000},
    {0x00008000, 1, 0x8000},
    {0x00104000, 1, 0xC000},
}};
static_assert(blockCount(kDorianRegions) == 258);

constexpr std::array<FlashBlockRun, 3> kYewRegions{{
    {0x10000000, 16, 0x10000},
    {0x10100000, 368, 0x10000},
    {0x00104000, 1, 0xC000},
}};
static_assert(blockCount(kYewRegions) == 385);

} // namespace

CDorianFlash::CDorianFlash() : CRegionFlashMap(kDorianRegions) {}
CYewFlash::CYewFlash() : CRegionFlashMap(kYewRegions) {}
CTorvoFlash::CTorvoFlash() : CRegionFlashMap(kYewRegions) {}
