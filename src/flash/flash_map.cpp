#include "flash/flash_map.h"

#include "firmware/format_error.h"

std::optional<FlashBlock> locateBlock(std::span<const FlashBlockRun> runs, std::int32_t index) {
    std::uint32_t offset = static_cast<std::uint32_t>(index);
    for (const FlashBlockRun& run : runs) {
        if (offset < run.count)
            return FlashBlock{run.base + offset * run.size, run.size};
        offset -= run.count;
    }
    return std::nullopt;
}

std::uint32_t blockSizeIn(std::span<const FlashBlockRun> runs, std::int32_t index) {
    const std::optional<FlashBlock> block = locateBlock(runs, index);
    return block ? block->size : 0;
}

std::uint32_t blockAddressIn(std::span<const FlashBlockRun> runs, std::int32_t index) {
    const std::optional<FlashBlock> block = locateBlock(runs, index);
    if (!block || block->size == 0)
        throw CFormatError(CFormatError::kMalformed);
    return block->address;
}

std::vector<FlashBlock> enumerateBlocks(const CFlashMap& map) {
    std::vector<FlashBlock> blocks;
    for (std::int32_t index = 0;; ++index) {
        const std::uint32_t size = map.GetBlockSize(index);
        if (size == 0)
            break;
        blocks.push_back({map.GetBlockAddress(index), size});
    }
    return blocks;
}
