#include "firmware/block_fill.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

// The fill is defined as a walk over the whole image from its head, for every
// block. Walking it for real costs image size x blocks, which for images of
// many MiB over maps of hundreds of blocks is most of an upgrade's host time.
// So the image gets an index by address the first time it is filled, and each
// block then visits only the entries that reach into it, in file order, with
// the same results as the walk: the same bytes, the same entries used up, the
// same stop once the block is covered, the same entries decoded and the same
// progress. An image with a record that would fail to decode is walked for
// real, so that the failure comes where the walk has it.
namespace {

// Tracks which bytes of the block the image has supplied so far. Overlapping
// records supply some bytes more than once; only the first time counts, so the
// block is complete only when no byte is left out.
class Coverage {
public:
    explicit Coverage(std::uint32_t size) : size_(size), words_((std::size_t{size} + 63) / 64, 0) {}

    void mark(std::uint64_t offset, std::uint32_t length) {
        if (complete())
            return;
        const std::uint64_t end = offset + length;
        for (std::uint64_t bit = offset; bit < end;) {
            const std::uint64_t word = bit / 64;
            const std::uint64_t to = std::min<std::uint64_t>(end - word * 64, 64);
            const std::uint64_t below = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
            const std::uint64_t mask = below & (~std::uint64_t{0} << (bit % 64));
            // The mask is one run of bits: the usual case, none of them
            // covered yet, needs no count of bits.
            const std::uint64_t fresh = mask & ~words_[word];
            count_ +=
                static_cast<std::uint32_t>(fresh == mask ? to - bit % 64 : std::popcount(fresh));
            words_[word] |= mask;
            bit = word * 64 + to;
        }
    }

    bool complete() const { return count_ == size_; }
    std::uint32_t count() const { return count_; }

private:
    std::uint32_t size_;
    std::vector<std::uint64_t> words_; // a bit for every byte of the block
    std::uint32_t count_ = 0;
};

// Reports the whole percentages a walk of `walked` entries out of `total`
// rises through: floor(w * 100 / total) for w = 1..walked, each time it rises.
void reportWalk(std::uint64_t walked, std::uint64_t total, const FillProgress& progress) {
    if (!progress || total == 0)
        return;
    int shown = 0;
    for (int percent = 1; percent <= 100; ++percent) {
        // The first entry at which the percentage reaches `percent`.
        const std::uint64_t entry = (static_cast<std::uint64_t>(percent) * total + 99) / 100;
        if (entry > walked)
            break;
        const int reached = static_cast<int>(entry * 100 / total);
        if (reached > shown) {
            shown = reached;
            progress(reached);
            percent = reached;
        }
    }
}

// The walk itself.
FilledBlock walkFill(CAddressDataList& image, std::uint32_t blockAddress, std::uint32_t blockSize,
                     const FillProgress& progress, FillWalk walk) {
    auto block = std::make_unique<CAddressData>(blockAddress, nullptr, blockSize);
    Coverage coverage(blockSize);
    const std::uint64_t countAtStart = image.count();
    std::uint64_t walked = 0;
    int shownPercent = 0;

    for (auto position = image.head(); position != image.end();) {
        CAddressDataEx& entry = image.at(position);
        DecodeImageRecord(entry);
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

// Sorts keys that mostly come in a few ascending runs already (an image in
// address order, with a few records elsewhere in the file) by merging the
// runs, and keys in any other order by sorting them.
void sortKeys(std::vector<std::uint64_t>& keys) {
    constexpr std::size_t kMostRuns = 32;
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i] < keys[i - 1]) {
            starts.push_back(i);
            if (starts.size() > kMostRuns) {
                std::sort(keys.begin(), keys.end());
                return;
            }
        }
    starts.push_back(keys.size());
    while (starts.size() > 2) {
        std::vector<std::size_t> merged = {0};
        for (std::size_t r = 0; r + 1 < starts.size(); r += 2) {
            const std::size_t end = r + 2 < starts.size() ? starts[r + 2] : starts[r + 1];
            if (r + 2 < starts.size())
                std::inplace_merge(keys.begin() + static_cast<std::ptrdiff_t>(starts[r]),
                                   keys.begin() + static_cast<std::ptrdiff_t>(starts[r + 1]),
                                   keys.begin() + static_cast<std::ptrdiff_t>(end));
            merged.push_back(end);
        }
        starts = std::move(merged);
    }
}

// The entries of an image by address, for as long as only the fill changes
// the image. Entries are numbered in list order when the index is made;
// "present" entries are those still in the list.
class FillIndex : public CAddressDataList::FillState {
public:
    // None when an entry would fail to decode.
    static std::unique_ptr<FillIndex> make(CAddressDataList& image) {
        auto index = std::make_unique<FillIndex>();
        // Made while every record of the image is still held: growing by
        // doubling would hold the old entries and the new at once, at the
        // upgrade's highest use of memory.
        index->entries_.reserve(image.count());
        for (auto position = image.head(); position != image.end(); ++position) {
            const CAddressDataEx& entry = image.at(position);
            if (!entry.decodable())
                return nullptr;
            // What the entry will hold once decoded.
            const std::uint32_t size =
                entry.decoded() ? entry.size() : static_cast<std::uint32_t>(entry.dataByteCount());
            index->entries_.push_back({entry.address(), size, CAddressDataList::slotOf(position)});
            index->longest_ = std::max(index->longest_, size);
        }
        const auto count = static_cast<std::uint32_t>(index->entries_.size());
        // Address and number in one key: sorted, the entries are in address
        // order and, at one address, in list order. Images in address order,
        // the usual case, are sorted already.
        index->byAddress_.reserve(count);
        for (std::uint32_t n = 0; n < count; ++n)
            if (index->entries_[n].size != 0)
                index->byAddress_.push_back(std::uint64_t{index->entries_[n].address} << 32 | n);
        sortKeys(index->byAddress_);
        index->present_.assign(count, 1);
        index->groupPresent_.assign((count + kGroup - 1) / kGroup, kGroup);
        if (count % kGroup != 0)
            index->groupPresent_.back() = count % kGroup;
        return index;
    }

    // Present entries that share a byte with [begin, end), in list order.
    std::vector<std::uint32_t> reaching(std::uint64_t begin, std::uint64_t end) const {
        std::vector<std::uint32_t> found;
        const std::uint64_t from = begin > longest_ ? begin - longest_ : 0;
        auto it = std::lower_bound(byAddress_.begin(), byAddress_.end(), from << 32);
        for (; it != byAddress_.end() && (*it >> 32) < end; ++it) {
            const auto n = static_cast<std::uint32_t>(*it);
            const Entry& entry = entries_[n];
            if (present_[n] != 0 && std::uint64_t{entry.address} + entry.size > begin)
                found.push_back(n);
        }
        // In an image in address order they come in list order already.
        if (!std::is_sorted(found.begin(), found.end()))
            std::sort(found.begin(), found.end());
        return found;
    }

    // Present entries numbered up to n, n included. The fill asks block by
    // block for a number near the one before (rising, in an image in address
    // order): the count of the groups before n's group is kept for the group
    // asked for last and moved from there.
    std::uint64_t rank(std::uint32_t n) {
        const std::uint32_t group = n / kGroup;
        for (; countedGroups_ < group; ++countedGroups_)
            presentBefore_ += groupPresent_[countedGroups_];
        for (; countedGroups_ > group; --countedGroups_)
            presentBefore_ -= groupPresent_[countedGroups_ - 1];
        std::uint64_t total = presentBefore_;
        for (std::uint32_t i = group * kGroup; i <= n; ++i)
            total += present_[i];
        return total;
    }

    CAddressDataList::Position position(CAddressDataList& image, std::uint32_t n) const {
        return image.positionOfSlot(entries_[n].slot);
    }
    std::uint32_t size() const { return static_cast<std::uint32_t>(entries_.size()); }

    void removed(std::uint32_t n) {
        present_[n] = 0;
        --groupPresent_[n / kGroup];
        if (n / kGroup < countedGroups_)
            --presentBefore_;
    }

    // Decodes the present entries numbered up to n, as a walk reaching entry n
    // would have; each entry once.
    void decodeUpTo(CAddressDataList& image, std::uint32_t n) {
        for (; decodedBelow_ <= n && decodedBelow_ < entries_.size(); ++decodedBelow_)
            if (present_[decodedBelow_] != 0)
                DecodeImageRecord(image.at(position(image, decodedBelow_)));
    }

private:
    struct Entry {
        std::uint32_t address;
        std::uint32_t size;
        std::uint32_t slot; // the entry's position in the list
    };
    std::vector<Entry> entries_;
    std::vector<std::uint64_t> byAddress_; // entries with bytes: address << 32 | number
    std::vector<std::uint8_t> present_;    // 1 while the entry is in the list
    // Present entries by groups of kGroup numbers, and the sum of the first
    // countedGroups_ of them.
    static constexpr std::uint32_t kGroup = 1024;
    std::vector<std::uint32_t> groupPresent_;
    std::uint32_t countedGroups_ = 0;
    std::uint64_t presentBefore_ = 0;
    std::uint32_t longest_ = 0;
    std::uint32_t decodedBelow_ = 0;
};

FilledBlock indexedFill(CAddressDataList& image, FillIndex& index, std::uint32_t blockAddress,
                        std::uint32_t blockSize, const FillProgress& progress, FillWalk walk) {
    auto block = std::make_unique<CAddressData>(blockAddress, nullptr, blockSize);
    Coverage coverage(blockSize);
    const std::uint64_t countAtStart = image.count();
    const std::uint64_t end = std::uint64_t{blockAddress} + blockSize;

    // The walk would stop after the entry that completes the block; until then
    // it decodes every entry it passes.
    std::vector<std::uint32_t> used;
    std::uint32_t last = index.size() - 1;
    bool stopped = false;
    for (std::uint32_t n : index.reaching(blockAddress, end)) {
        index.decodeUpTo(image, n);
        const CAddressDataEx& entry = image.at(index.position(image, n));
        const std::uint32_t overlap = OverlapLength(*block, entry);
        if (overlap == 0)
            continue;
        CopyOverlap(*block, entry);
        coverage.mark(std::max(entry.address(), blockAddress) - blockAddress, overlap);
        if (overlap == entry.size())
            used.push_back(n);
        if (walk == FillWalk::kUntilCovered && coverage.complete()) {
            last = n;
            stopped = true;
            break;
        }
    }
    const std::uint64_t walked = stopped ? index.rank(last) : countAtStart;
    index.decodeUpTo(image, last);
    for (std::uint32_t n : used) {
        image.removeKeepingFillState(index.position(image, n));
        index.removed(n);
    }
    reportWalk(walked, countAtStart, progress);
    return {std::move(block), coverage.count()};
}

} // namespace

void DecodeImageRecord(CAddressDataEx& entry) {
    try {
        entry.decode();
    } catch (const CFormatError& error) {
        throw CImageRecordError(error.value(), entry.line(), entry.address());
    }
}

FilledBlock FillBlock(CAddressDataList& image, std::uint32_t blockAddress, std::uint32_t blockSize,
                      const FillProgress& progress, FillWalk walk) {
    // An empty block is complete before the first entry, which the walk still
    // takes; and an empty image has nothing to index.
    if (blockSize == 0 || image.empty())
        return walkFill(image, blockAddress, blockSize, progress, walk);
    auto* index = dynamic_cast<FillIndex*>(image.fillState());
    if (index == nullptr) {
        auto made = FillIndex::make(image);
        if (!made)
            return walkFill(image, blockAddress, blockSize, progress, walk);
        index = made.get();
        image.setFillState(std::move(made));
    }
    return indexedFill(image, *index, blockAddress, blockSize, progress, walk);
}
