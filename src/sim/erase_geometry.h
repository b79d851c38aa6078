#pragma once

#include "sim/scanner_profile.h"

#include <string>
#include <vector>

// Flash geometry: the erase blocks of a flash, written "start:size*count,..."
// in profiles, and the geometry each product family ships with.
namespace sim {

// Parses "start:size*count,start:size,..." (numbers decimal or 0x-hex; "*count"
// repeats the block back to back). The blocks come back sorted by address;
// std::invalid_argument for bad syntax, empty blocks, overlaps or blocks
// reaching past 4 GiB.
std::vector<EraseBlock> ParseEraseBlocks(const std::string& text);

// The geometry text of the first family whose product prefix the product
// starts with (letter case ignored); the common one for everything else.
std::string StandardGeometryText(const std::string& product);
std::vector<EraseBlock> StandardEraseBlocks(const std::string& product);

// The default geometry of a processor behind the main controller.
std::vector<EraseBlock> DefaultProcessorBlocks(ProcessorProfile::Access access);

} // namespace sim
