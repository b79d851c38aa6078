#pragma once

#include "firmware/address_data.h"
#include "firmware/address_data_list.h"
#include "firmware/image_info.h"
#include "flash/flash_map.h"

#include <cstdint>
#include <functional>
#include <vector>

// How an image lies over a flash map when the main controller is upgraded with
// it: which blocks are written and with what, and which of its bytes no block
// takes.

struct BlockLayout {
    std::int32_t index = 0;
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    // Distinct bytes of the block the image supplies; the block is written when
    // there is any, else it is left erased.
    std::uint32_t coveredBytes = 0;

    bool written() const { return coveredBytes > 0; }
};

struct ImageLayout {
    // Every block of the map, in index order.
    std::vector<BlockLayout> blocks;
    // Image bytes that lie in no block, and image bytes in the map's reserved
    // range; each sorted and merged.
    std::vector<AddressRange> outsideBlocks;
    std::vector<AddressRange> reserved;

    std::uint32_t writtenBlocks() const;
    std::uint64_t writtenBytes() const;
};

// Called with the whole percentage of the work done, each time it rises: the
// first half is decoding the records, the second filling the blocks.
using LayoutProgress = std::function<void(int percent)>;

// Called for each written block as soon as it is laid out, with its bytes
// (0xFF wherever the image has none), so that nobody needs to hold the whole
// layout beside the image.
using WrittenBlock = std::function<void(const BlockLayout& block, const CAddressData& bytes)>;

// Lays the image out over the map as the main controller upgrade does: every
// record is decoded first (a record that fails raises CImageRecordError with
// its line and address, and nothing is laid out), then each block from index 0
// until the map's end marker is filled with FillBlock (FillWalk::kUntilCovered),
// which uses records up and takes them out of the image.
ImageLayout LayOutImage(CAddressDataList& image, const CFlashMap& map,
                        const LayoutProgress& progress = {}, const WrittenBlock& written = {});
