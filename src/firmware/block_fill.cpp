#include "firmware/block_fill.h"

#include "firmware/packed_pointer.h"
#include "firmware/prefetch.h"
#include "firmware/radix_sort.h"

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

// What an entry holds once decoded, known before.
std::uint32_t bytesHeld(const CAddressDataEx& entry) {
    return entry.decoded() ? entry.size() : static_cast<std::uint32_t>(entry.dataByteCount());
}

// The entries of an image by address, for as long as only the fill changes
// the image. The list keeps its entries in the order of their slots (it only
// ever appends), so a slot says where an entry stands in the walk; "present"
// entries are those still in the list.
//
// A block reads the bytes of the entries reaching into it straight from where
// they lie, through the index; it touches a record only to decode it, in list
// order, and to take it out. In an image in address order all of this runs
// through memory in order. In an image in any other order the bytes of one
// block lie anywhere, and are fetched ahead.
class FillIndex : public CAddressDataList::FillState {
public:
    // Twenty bytes in a 64-bit program, with the pointer unaligned: one of
    // these for every record of an image of millions is held beside all of
    // them.
    struct Entry {
        std::uint32_t address;
        std::uint32_t size; // what the entry holds once decoded
        std::uint32_t slot;
        PackedPointer<const std::uint8_t> bytes; // where they lie once decoded
    };

    // None when an entry would fail to decode.
    static std::unique_ptr<FillIndex> make(CAddressDataList& image) {
        auto index = std::make_unique<FillIndex>();
        // Made while every record of the image is still held: growing by
        // doubling would hold the old entries and the new at once, at the
        // upgrade's highest use of memory.
        index->byAddress_.reserve(image.count());
        index->present_.assign(image.slotsMade(), 0);
        for (auto position = image.head(); position != image.end(); ++position) {
            const CAddressDataEx& entry = image.at(position);
            if (!entry.decodable())
                return nullptr;
            const std::uint32_t slot = CAddressDataList::slotOf(position);
            index->present_[slot] = 1;
            const std::uint32_t size = bytesHeld(entry);
            if (size == 0)
                continue; // meets no block
            index->byAddress_.push_back({entry.address(), size, slot, entry.bytesOnceDecoded()});
            index->longest_ = std::max(index->longest_, size);
        }
        index->nextToDecode_ = CAddressDataList::slotOf(image.head());
        sortByAddress(index->byAddress_);
        const auto slots = static_cast<std::uint32_t>(index->present_.size());
        index->groupPresent_.assign((slots + kGroup - 1) / kGroup, 0);
        for (std::uint32_t slot = 0; slot < slots; ++slot)
            index->groupPresent_[slot / kGroup] += index->present_[slot];
        return index;
    }

    // Present entries that share a byte with [begin, end), in list order, as
    // places in the index.
    std::vector<std::uint32_t> reaching(std::uint64_t begin, std::uint64_t end) const {
        std::vector<std::uint64_t> found; // slot << 32 | place
        const std::uint64_t from = begin > longest_ ? begin - longest_ : 0;
        auto it = std::lower_bound(byAddress_.begin(), byAddress_.end(), from,
                                   [](const Entry& e, std::uint64_t a) { return e.address < a; });
        for (; it != byAddress_.end() && it->address < end; ++it)
            if (present_[it->slot] != 0 && std::uint64_t{it->address} + it->size > begin)
                found.push_back(std::uint64_t{it->slot} << 32 |
                                static_cast<std::uint32_t>(it - byAddress_.begin()));
        // In an image in address order they come in list order already.
        RadixSortBy(found, [](std::uint64_t key) { return static_cast<std::uint32_t>(key >> 32); });
        std::vector<std::uint32_t> places(found.size());
        for (std::size_t i = 0; i < found.size(); ++i)
            places[i] = static_cast<std::uint32_t>(found[i]);
        return places;
    }

    const Entry& operator[](std::uint32_t place) const { return byAddress_[place]; }

    std::vector<AddressRange> ranges() const {
        std::vector<AddressRange> merged;
        for (const Entry& entry : byAddress_) {
            if (present_[entry.slot] == 0)
                continue;
            const AddressRange range{entry.address, std::uint64_t{entry.address} + entry.size};
            if (!merged.empty() && range.start <= merged.back().end)
                merged.back().end = std::max(merged.back().end, range.end);
            else
                merged.push_back(range);
        }
        return merged;
    }

    // Present entries in slots up to `slot`, that one included. The fill asks
    // block by block for a slot near the one before (rising, in an image in
    // address order): the count of the groups before the slot's group is kept
    // for the group asked for last and moved from there.
    std::uint64_t rank(std::uint32_t slot) {
        const std::uint32_t group = slot / kGroup;
        for (; countedGroups_ < group; ++countedGroups_)
            presentBefore_ += groupPresent_[countedGroups_];
        for (; countedGroups_ > group; --countedGroups_)
            presentBefore_ -= groupPresent_[countedGroups_ - 1];
        std::uint64_t total = presentBefore_;
        for (std::uint32_t i = group * kGroup; i <= slot; ++i)
            total += present_[i];
        return total;
    }

    // The slot after every slot of the image's entries.
    std::uint32_t slots() const { return static_cast<std::uint32_t>(present_.size()); }

    void removed(std::uint32_t slot) {
        present_[slot] = 0;
        --groupPresent_[slot / kGroup];
        if (slot / kGroup < countedGroups_)
            --presentBefore_;
    }

    // Decodes the entries in slots up to `slot`, as a walk reaching that entry
    // would have; each entry once. Only entries the fill has reached, and so
    // decoded, are ever taken out: the entry to decode next is still in the
    // list.
    void decodeUpTo(CAddressDataList& image, std::uint32_t slot) {
        // The end of the list has a slot above every entry's.
        while (nextToDecode_ <= slot) {
            const auto position = image.positionOfSlot(nextToDecode_);
            DecodeImageRecord(image.at(position));
            nextToDecode_ = CAddressDataList::slotOf(std::next(position));
        }
    }

private:
    // By address, and at one address in list order. An image in address
    // order, the usual case, is in that order already; one with a few
    // records elsewhere in the file comes in a few runs, which are merged;
    // any other is sorted.
    static void sortByAddress(std::vector<Entry>& entries) {
        const auto before = [](const Entry& a, const Entry& b) { return a.address < b.address; };
        constexpr std::size_t kMostRuns = 32;
        std::vector<std::size_t> starts = {0};
        for (std::size_t i = 1; i < entries.size(); ++i)
            if (before(entries[i], entries[i - 1])) {
                starts.push_back(i);
                if (starts.size() > kMostRuns) {
                    RadixSortBy(entries, [](const Entry& e) { return e.address; });
                    return;
                }
            }
        starts.push_back(entries.size());
        while (starts.size() > 2) {
            std::vector<std::size_t> merged = {0};
            for (std::size_t r = 0; r + 1 < starts.size(); r += 2) {
                const std::size_t end = r + 2 < starts.size() ? starts[r + 2] : starts[r + 1];
                if (r + 2 < starts.size())
                    std::inplace_merge(entries.begin() + static_cast<std::ptrdiff_t>(starts[r]),
                                       entries.begin() + static_cast<std::ptrdiff_t>(starts[r + 1]),
                                       entries.begin() + static_cast<std::ptrdiff_t>(end), before);
                merged.push_back(end);
            }
            starts = std::move(merged);
        }
    }

    std::vector<Entry> byAddress_;      // the entries with bytes
    std::vector<std::uint8_t> present_; // by slot: 1 while an entry is there
    // Present entries by groups of kGroup slots, and the sum of the first
    // countedGroups_ of them.
    static constexpr std::uint32_t kGroup = 1024;
    std::vector<std::uint32_t> groupPresent_;
    std::uint32_t countedGroups_ = 0;
    std::uint64_t presentBefore_ = 0;
    std::uint32_t longest_ = 0;
    std::uint32_t nextToDecode_ = 0; // a slot
};

FilledBlock indexedFill(CAddressDataList& image, FillIndex& index, std::uint32_t blockAddress,
                        std::uint32_t blockSize, const FillProgress& progress, FillWalk walk) {
    auto block = std::make_unique<CAddressData>(blockAddress, nullptr, blockSize);
    Coverage coverage(blockSize);
    const std::uint64_t countAtStart = image.count();
    const std::uint64_t end = std::uint64_t{blockAddress} + blockSize;
    // How far ahead of the entry in hand the bytes of the next are fetched.
    constexpr std::size_t kAhead = 8;

    // The walk would stop after the entry that completes the block; until then
    // it decodes every entry it passes.
    std::vector<std::uint32_t> used; // places in the index
    std::uint32_t last = index.slots() - 1;
    bool stopped = false;
    const std::vector<std::uint32_t> reaching = index.reaching(blockAddress, end);
    for (std::size_t i = 0; i < reaching.size(); ++i) {
        if (i + kAhead < reaching.size())
            Prefetch(index[reaching[i + kAhead]].bytes.get());
        const FillIndex::Entry& entry = index[reaching[i]];
        index.decodeUpTo(image, entry.slot);
        const std::uint64_t from = std::max<std::uint64_t>(entry.address, blockAddress);
        const std::uint64_t to = std::min(std::uint64_t{entry.address} + entry.size, end);
        if (from >= to)
            continue;
        const auto overlap = static_cast<std::uint32_t>(to - from);
        std::memcpy(block->data() + (from - blockAddress),
                    entry.bytes.get() + (from - entry.address), overlap);
        coverage.mark(from - blockAddress, overlap);
        if (overlap == entry.size)
            used.push_back(reaching[i]);
        if (walk == FillWalk::kUntilCovered && coverage.complete()) {
            last = entry.slot;
            stopped = true;
            break;
        }
    }
    const std::uint64_t walked = stopped ? index.rank(last) : countAtStart;
    index.decodeUpTo(image, last);
    for (std::size_t i = 0; i < used.size(); ++i) {
        if (i + kAhead < used.size())
            image.prefetchSlot(index[used[i + kAhead]].slot);
        image.removeKeepingFillState(image.positionOfSlot(index[used[i]].slot));
        index.removed(index[used[i]].slot);
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

namespace {

// The image's index, made when it has none; null when a record would fail to
// decode.
FillIndex* indexOf(CAddressDataList& image) {
    if (auto* index = dynamic_cast<FillIndex*>(image.fillState()))
        return index;
    auto made = FillIndex::make(image);
    FillIndex* index = made.get();
    if (made)
        image.setFillState(std::move(made));
    return index;
}

} // namespace

std::vector<AddressRange> ImageDataRanges(CAddressDataList& image) {
    if (const FillIndex* index = image.empty() ? nullptr : indexOf(image))
        return index->ranges();
    std::vector<AddressRange> ranges;
    for (auto position = image.head(); position != image.end(); ++position) {
        const CAddressDataEx& entry = image.at(position);
        ranges.push_back({entry.address(), std::uint64_t{entry.address()} + bytesHeld(entry)});
    }
    return MergeRanges(std::move(ranges));
}

FilledBlock FillBlock(CAddressDataList& image, std::uint32_t blockAddress, std::uint32_t blockSize,
                      const FillProgress& progress, FillWalk walk) {
    // An empty block is complete before the first entry, which the walk still
    // takes; and an empty image has nothing to index.
    if (blockSize == 0 || image.empty())
        return walkFill(image, blockAddress, blockSize, progress, walk);
    FillIndex* index = indexOf(image);
    if (index == nullptr)
        return walkFill(image, blockAddress, blockSize, progress, walk);
    return indexedFill(image, *index, blockAddress, blockSize, progress, walk);
}
