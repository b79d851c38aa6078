#pragma once

#include "sim/data_run.h"
#include "sim/scanner_profile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

// The content of one flash chip. Erased flash reads 0xFF; programming can
// only clear bits, so a byte written over old data without an erase reads
// back as the AND of both. Memory is held in pages that exist only while they
// hold something other than 0xFF, so a 24 MiB flash that is mostly erased
// costs next to nothing.
namespace sim {

class FlashMemory {
public:
    // The blocks must not overlap; they are kept sorted by address.
    explicit FlashMemory(std::vector<EraseBlock> blocks);

    const std::vector<EraseBlock>& blocks() const { return blocks_; }

    // Every byte of [address, address + length) lies in some erase block.
    bool covers(std::uint32_t address, std::uint64_t length) const;
    // The erase block holding the address.
    std::optional<EraseBlock> blockAt(std::uint32_t address) const;

    // 0xFF outside the blocks and wherever erased.
    std::uint8_t read(std::uint32_t address) const;
    void read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;

    // Programs bytes as the chip does: each byte becomes old AND new.
    void program(std::uint32_t address, const std::uint8_t* data, std::size_t length);
    // Sets bytes outright (content loaded from a file, not programmed).
    void store(std::uint32_t address, const std::uint8_t* data, std::size_t length);

    // Sets [first, last] (inclusive) to 0xFF.
    void eraseRange(std::uint32_t first, std::uint32_t last);
    // Erases the whole block holding the address; false when none does.
    bool eraseBlockAt(std::uint32_t address);
    // Erases every block that has a byte in [first, last].
    void eraseBlocksTouching(std::uint32_t first, std::uint32_t last);
    void eraseAll();

    // The 32-bit sum of the bytes first..last inclusive, 0xFF counted for
    // every address outside the blocks. Costs in proportion to the pages in
    // use, not to the length of the range.
    std::uint32_t checksum(std::uint32_t first, std::uint32_t last) const;

    // Writes the "old firmware" marker into the first 16 bytes of every block:
    // "OLD FW " and the block address in 8 hex digits, then a zero byte.
    void fillMarkers();

    // Every run of non-0xFF bytes, in address order.
    std::vector<DataRun> runs() const;

    // Told of every change a chip operation makes (program, erase; not store):
    // an erase as (first, last, nullptr), a program as (address, length, data).
    using Observer = std::function<void(std::uint32_t, std::uint32_t, const std::uint8_t*)>;
    void setObserver(Observer observer) { observer_ = std::move(observer); }

    // Pages currently held (each kPageSize bytes).
    std::size_t pagesInUse() const { return pages_.size(); }
    static constexpr std::uint32_t kPageSize = 0x1000;

private:
    using Page = std::vector<std::uint8_t>;
    Page& pageFor(std::uint32_t pageBase);
    void dropIfErased(std::map<std::uint32_t, Page>::iterator page);

    std::vector<EraseBlock> blocks_;
    std::map<std::uint32_t, Page> pages_; // keyed by page base address
    Observer observer_;
};

} // namespace sim
