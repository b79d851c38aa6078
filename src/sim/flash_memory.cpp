#include "sim/flash_memory.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace sim {

namespace {

constexpr std::uint32_t kPageMask = ~(FlashMemory::kPageSize - 1);

std::uint64_t endOf(const EraseBlock& block) {
    return std::uint64_t{block.start} + block.size;
}

// Calls visit(pageBase, offset, done, run) for each piece of [address,
// address + length) that lies in one page: `run` bytes from `offset` in the
// page at `pageBase`, the `done` bytes before it already visited. Addresses
// wrap at 2^32 as the device's do.
template <typename Visit>
void forEachPageRun(std::uint32_t address, std::size_t length, Visit visit) {
    for (std::size_t done = 0; done < length;) {
        const auto at = static_cast<std::uint32_t>(address + done);
        const std::uint32_t offset = at & ~kPageMask;
        const std::size_t run =
            std::min<std::size_t>(length - done, FlashMemory::kPageSize - offset);
        visit(at & kPageMask, offset, done, run);
        done += run;
    }
}

} // namespace

FlashMemory::FlashMemory(std::vector<EraseBlock> blocks) : blocks_(std::move(blocks)) {
    std::sort(blocks_.begin(), blocks_.end(),
              [](const EraseBlock& a, const EraseBlock& b) { return a.start < b.start; });
}

std::optional<EraseBlock> FlashMemory::blockAt(std::uint32_t address) const {
    auto after =
        std::upper_bound(blocks_.begin(), blocks_.end(), address,
                         [](std::uint32_t a, const EraseBlock& block) { return a < block.start; });
    if (after == blocks_.begin())
        return std::nullopt;
    const EraseBlock& block = *(after - 1);
    if (address >= endOf(block))
        return std::nullopt;
    return block;
}

bool FlashMemory::covers(std::uint32_t address, std::uint64_t length) const {
    if (length == 0)
        return blockAt(address).has_value();
    std::uint64_t at = address;
    const std::uint64_t end = at + length;
    while (at < end) {
        if (at > 0xFFFFFFFFull)
            return false;
        const auto block = blockAt(static_cast<std::uint32_t>(at));
        if (!block)
            return false;
        at = endOf(*block);
    }
    return true;
}

std::uint8_t FlashMemory::read(std::uint32_t address) const {
    const auto page = pages_.find(address & kPageMask);
    if (page == pages_.end())
        return 0xFF;
    return page->second[address - page->first];
}

void FlashMemory::read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
    forEachPageRun(
        address, length,
        [&](std::uint32_t base, std::uint32_t offset, std::size_t done, std::size_t run) {
            const auto page = pages_.find(base);
            if (page == pages_.end())
                std::fill_n(out + done, run, std::uint8_t{0xFF});
            else
                std::copy_n(page->second.data() + offset, run, out + done);
        });
}

FlashMemory::Page& FlashMemory::pageFor(std::uint32_t pageBase) {
    auto [page, added] = pages_.try_emplace(pageBase);
    if (added)
        page->second.assign(kPageSize, 0xFF);
    return page->second;
}

void FlashMemory::dropIfErased(std::map<std::uint32_t, Page>::iterator page) {
    if (std::all_of(page->second.begin(), page->second.end(),
                    [](std::uint8_t b) { return b == 0xFF; }))
        pages_.erase(page);
}

void FlashMemory::program(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
    if (observer_ && length > 0)
        observer_(address, static_cast<std::uint32_t>(length), data);
    forEachPageRun(
        address, length,
        [&](std::uint32_t base, std::uint32_t offset, std::size_t done, std::size_t run) {
            const std::uint8_t* from = data + done;
            // Programming all ones changes nothing: such a run takes no page.
            if (std::all_of(from, from + run, [](std::uint8_t b) { return b == 0xFF; }))
                return;
            std::uint8_t* cells = pageFor(base).data() + offset;
            for (std::size_t k = 0; k < run; ++k)
                cells[k] &= from[k];
        });
}

void FlashMemory::store(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const auto at = static_cast<std::uint32_t>(address + i);
        if (data[i] == 0xFF) {
            const auto page = pages_.find(at & kPageMask);
            if (page != pages_.end())
                page->second[at & ~kPageMask] = 0xFF;
            continue;
        }
        pageFor(at & kPageMask)[at & ~kPageMask] = data[i];
    }
    // Pages that only received 0xFF bytes may be fully erased now.
    const std::uint32_t firstPage = address & kPageMask;
    auto page = pages_.lower_bound(firstPage);
    const std::uint64_t end = std::uint64_t{address} + length;
    while (page != pages_.end() && page->first < end) {
        auto next = std::next(page);
        dropIfErased(page);
        page = next;
    }
}

void FlashMemory::eraseRange(std::uint32_t first, std::uint32_t last) {
    if (last < first)
        return;
    if (observer_)
        observer_(first, last, nullptr);
    auto page = pages_.lower_bound(first & kPageMask);
    while (page != pages_.end() && page->first <= last) {
        const std::uint64_t pageEnd = std::uint64_t{page->first} + kPageSize - 1;
        auto next = std::next(page);
        if (page->first >= first && pageEnd <= last) {
            pages_.erase(page);
        } else {
            const std::uint32_t from = std::max(first, page->first) - page->first;
            const std::uint64_t to = std::min<std::uint64_t>(last, pageEnd) - page->first;
            std::fill(page->second.begin() + from, page->second.begin() + to + 1, 0xFF);
            dropIfErased(page);
        }
        page = next;
    }
}

bool FlashMemory::eraseBlockAt(std::uint32_t address) {
    const auto block = blockAt(address);
    if (!block)
        return false;
    eraseRange(block->start, static_cast<std::uint32_t>(endOf(*block) - 1));
    return true;
}

void FlashMemory::eraseBlocksTouching(std::uint32_t first, std::uint32_t last) {
    for (const EraseBlock& block : blocks_) {
        const auto blockLast = static_cast<std::uint32_t>(endOf(block) - 1);
        if (block.start <= last && blockLast >= first)
            eraseRange(block.start, blockLast);
    }
}

void FlashMemory::eraseAll() {
    if (observer_)
        observer_(0, 0xFFFFFFFF, nullptr);
    pages_.clear();
}

std::uint32_t FlashMemory::checksum(std::uint32_t first, std::uint32_t last) const {
    if (last < first)
        return 0;
    // Start from "all erased" and correct by every held byte in the range.
    const std::uint64_t count = std::uint64_t{last} - first + 1;
    auto sum = static_cast<std::uint32_t>(count * 0xFFu);
    for (auto page = pages_.lower_bound(first & kPageMask);
         page != pages_.end() && page->first <= last; ++page) {
        const std::uint64_t pageEnd = std::uint64_t{page->first} + kPageSize - 1;
        const std::uint32_t from = std::max(first, page->first) - page->first;
        const std::uint64_t to = std::min<std::uint64_t>(last, pageEnd) - page->first;
        for (std::uint64_t i = from; i <= to; ++i)
            sum += static_cast<std::uint32_t>(page->second[i]) - 0xFFu;
    }
    return sum;
}

void FlashMemory::fillMarkers() {
    for (const EraseBlock& block : blocks_) {
        char text[17];
        std::snprintf(text, sizeof text, "OLD FW %08X", static_cast<unsigned>(block.start));
        std::uint8_t marker[16] = {};
        std::copy(text, text + 15, marker);
        store(block.start, marker, std::min<std::uint32_t>(16, block.size));
    }
}

std::vector<DataRun> FlashMemory::runs() const {
    std::vector<DataRun> result;
    std::uint64_t runEnd = 0; // address after the last byte of result.back()
    for (const auto& [base, page] : pages_) {
        for (std::uint32_t i = 0; i < kPageSize; ++i) {
            if (page[i] == 0xFF)
                continue;
            const std::uint64_t at = std::uint64_t{base} + i;
            if (result.empty() || at != runEnd)
                result.push_back({static_cast<std::uint32_t>(at), {}});
            result.back().bytes.push_back(page[i]);
            runEnd = at + 1;
        }
    }
    return result;
}

} // namespace sim
