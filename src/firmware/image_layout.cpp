#include "firmware/image_layout.h"

#include "firmware/block_fill.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kLayoutAddressEnd = std::uint64_t{1} << 32;

// Reports a percentage each time it rises.
class Percent {
public:
    explicit Percent(const LayoutProgress& progress) : progress_(progress) {}

    void reach(std::uint64_t done, std::uint64_t total, int from, int to) {
        const int percent = from + static_cast<int>(done * static_cast<std::uint64_t>(to - from) /
                                                    std::max<std::uint64_t>(total, 1));
        if (percent > shown_) {
            shown_ = percent;
            if (progress_)
                progress_(percent);
        }
    }

private:
    const LayoutProgress& progress_;
    int shown_ = 0;
};

// Decodes every record, as the upgrade checks the image before it erases
// anything, and returns the addresses the records' data covers.
std::vector<AddressRange> decodeAll(CAddressDataList& image, Percent& percent) {
    const std::uint64_t total = image.count();
    std::uint64_t done = 0;
    for (auto position = image.head(); position != image.end(); ++position) {
        percent.reach(++done, total, 0, 50);
        DecodeImageRecord(image.at(position));
    }
    return ImageDataRanges(image);
}

// The image bytes the map reserves, found run by run.
std::vector<AddressRange> reservedBytes(const std::vector<AddressRange>& image,
                                        const CFlashMap& map) {
    std::vector<AddressRange> reserved;
    for (const AddressRange& range : image) {
        const std::uint64_t end = std::min(range.end, kLayoutAddressEnd);
        for (std::uint64_t address = range.start; address < end;) {
            const auto at = static_cast<std::uint32_t>(address);
            const std::uint64_t runEnd = std::min(map.GetReservedRunEnd(at), end);
            if (map.IsReservedAddress(at)) {
                if (!reserved.empty() && reserved.back().end == address)
                    reserved.back().end = runEnd;
                else
                    reserved.push_back({address, runEnd});
            }
            address = runEnd;
        }
    }
    return reserved;
}

} // namespace

std::uint32_t ImageLayout::writtenBlocks() const {
    return static_cast<std::uint32_t>(std::count_if(
        blocks.begin(), blocks.end(), [](const BlockLayout& b) { return b.written(); }));
}

std::uint64_t ImageLayout::writtenBytes() const {
    std::uint64_t total = 0;
    for (const BlockLayout& block : blocks)
        if (block.written())
            total += block.size;
    return total;
}

ImageLayout LayOutImage(CAddressDataList& image, const CFlashMap& map,
                        const LayoutProgress& progress, const WrittenBlock& written) {
    Percent percent(progress);
    const std::vector<AddressRange> imageRanges = decodeAll(image, percent);
    const std::vector<FlashBlock> blocks = enumerateBlocks(map);

    ImageLayout layout;
    std::vector<AddressRange> blockRanges;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const FlashBlock& block = blocks[i];
        const FilledBlock filled = FillBlock(image, block.address, block.size);
        const BlockLayout laidOut{static_cast<std::int32_t>(i), block.address, block.size,
                                  filled.coveredBytes};
        layout.blocks.push_back(laidOut);
        blockRanges.push_back({block.address, std::uint64_t{block.address} + block.size});
        if (laidOut.written() && written)
            written(laidOut, *filled.block);
        percent.reach(i + 1, blocks.size(), 50, 100);
    }
    layout.outsideBlocks = SubtractRanges(imageRanges, MergeRanges(std::move(blockRanges)));
    layout.reserved = reservedBytes(imageRanges, map);
    return layout;
}
