#include "firmware/block_fill.h"

#include <algorithm>
#include <vector>

namespace {

// Tracks which bytes of the block the image has supplied so far. Overlapping
// records supply some bytes more than once; only the first time counts, so the
// block is complete only when no byte is left out.
class Coverage {
public:
    explicit Coverage(std::uint32_t size) : covered_(size, false) {}

    void mark(std::uint64_t offset, std::uint32_t length) {
        if (complete())
            return;
        const auto begin = covered_.begin() + static_cast<std::ptrdiff_t>(offset);
        for (auto it = begin; it != begin + length; ++it) {
            if (!*it) {
                *it = true;
                ++count_;
            }
        }
    }

    bool complete() const { return count_ == covered_.size(); }
    std::uint32_t count() const { return count_; }

private:
    std::vector<bool> covered_;
    std::uint32_t count_ = 0;
};

void decodeEntry(CAddressDataEx& entry) {
    try {
        entry.decode();
    } catch (const CFormatError& error) {
        throw CImageRecordError(error.value(), entry.line(), entry.address());
    }
}

} // namespace

FilledBlock FillBlock(CAddressDataList& image, std::uint32_t blockAddress, std::uint32_t blockSize,
                      const FillProgress& progress, FillWalk walk) {
    auto block = std::make_unique<CAddressData>(blockAddress, nullptr, blockSize);
    Coverage coverage(blockSize);
    const std::uint64_t countAtStart = image.count();
    std::uint64_t walked = 0;
    int shownPercent = 0;

    for (auto position = image.head(); position != image.end();) {
        CAddressDataEx& entry = image.at(position);
        decodeEntry(entry);
        const std::uint32_t overlap = OverlapLength(*block, entry);
        bool usedUp = false;
        if (overlap > 0) {
            CopyOverlap(*block, entry);
            coverage.mark(std::max(entry.address(), blockAddress) - blockAddress, overlap);
            usedUp = overlap == entry.size();
        }
        position = usedUp ? image.remove(position) : std::next(position);

        const int percent = static_cast<int>(++walked * 100 / countAtStart);
        if (percent > shownPercent) {
            shownPercent = percent;
            if (progress)
                progress(percent);
        }
        if (walk == FillWalk::kUntilCovered && coverage.complete())
            break;
    }
    return {std::move(block), coverage.count()};
}
