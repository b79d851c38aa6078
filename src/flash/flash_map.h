#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// How the flash memory of one target processor is divided into erase blocks.
// Blocks are numbered from 0; the first index whose size is 0 is the end
// marker, so callers enumerate 0, 1, 2, ... until GetBlockSize answers 0.
// Within one flash device blocks ascend; a map spanning several devices or
// address windows lists them one after the other.
class CFlashMap {
public:
    CFlashMap() = default;
    CFlashMap(const CFlashMap&) = delete;
    CFlashMap& operator=(const CFlashMap&) = delete;
    virtual ~CFlashMap() = default;

    // Start address of a block. Throws CFormatError (kMalformed) for an index
    // without a block, i.e. wherever GetBlockSize answers 0.
    virtual std::uint32_t GetBlockAddress(std::int32_t index) const = 0;
    // Size in bytes; 0 for a negative index and at or past the end marker.
    virtual std::uint32_t GetBlockSize(std::int32_t index) const = 0;
    // Whether the address lies in the map's reserved range. No upgrade flow
    // consults the range; it is reported for completeness.
    virtual bool IsReservedAddress(std::uint32_t address) const = 0;
    // Where the run of addresses from `address` on that IsReservedAddress
    // answers alike for ends (exclusive, at most 2^32), so that a caller can
    // walk a range run by run. By default a run is one address.
    virtual std::uint64_t GetReservedRunEnd(std::uint32_t address) const {
        return std::uint64_t{address} + 1;
    }
    // Only the map whose reserved range moves with the product stores this.
    virtual void SetReservedStart(std::uint32_t /*address*/) {}

    // Set: the scanner drops off the bus when it enters download mode and
    // comes back, so the main controller flow waits for it to arrive again.
    virtual bool GetReconnect() const { return reconnect_; }
    virtual void SetReconnect(bool reconnect) { reconnect_ = reconnect; }

private:
    bool reconnect_ = true;
};

struct FlashBlock {
    std::uint32_t address = 0;
    std::uint32_t size = 0;

    friend bool operator==(const FlashBlock&, const FlashBlock&) = default;
};

// One row of a layout: `count` blocks of `size` bytes, the first at `base`,
// each following directly on the one before. Every layout we know is a short
// list of such rows, and so is the region table of the region maps.
struct FlashBlockRun {
    std::uint32_t base = 0;
    std::uint32_t count = 0;
    std::uint32_t size = 0;
};

constexpr std::uint32_t blockCount(std::span<const FlashBlockRun> runs) {
    std::uint32_t total = 0;
    for (const FlashBlockRun& run : runs)
        total += run.count;
    return total;
}

// The block at an index of a run list; none for a negative index or one past
// the last run. The index is taken as unsigned, so a negative one is past
// every run.
std::optional<FlashBlock> locateBlock(std::span<const FlashBlockRun> runs, std::int32_t index);

// GetBlockSize and GetBlockAddress of a map laid out by a run list.
std::uint32_t blockSizeIn(std::span<const FlashBlockRun> runs, std::int32_t index);
std::uint32_t blockAddressIn(std::span<const FlashBlockRun> runs, std::int32_t index);

// The reserved range test: start <= address < start + size, unsigned. An empty
// range holds no address.
constexpr bool inReservedRange(std::uint32_t address, std::uint32_t start, std::uint32_t size) {
    return address - start < size;
}

// The end of the run from `address` on that is wholly inside, or wholly outside,
// [start, start + size) taken modulo 2^32, capped at 2^32.
constexpr std::uint64_t reservedRunEnd(std::uint32_t address, std::uint32_t start,
                                       std::uint32_t size) {
    constexpr std::uint64_t kEnd = std::uint64_t{1} << 32;
    if (size == 0)
        return kEnd;
    const std::uint32_t offset = address - start;
    const std::uint64_t length = offset < size ? size - offset : kEnd - offset;
    return std::min(std::uint64_t{address} + length, kEnd);
}

// Every block of a map up to its end marker, in index order, the way every
// upgrade flow walks it.
std::vector<FlashBlock> enumerateBlocks(const CFlashMap& map);
