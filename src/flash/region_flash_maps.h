#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "flash/flash_map.h"

// The maps of the large main controllers, laid out by a region table set by
// the constructor rather than a block table: region r holds counts[r] blocks
// of sizes[r] bytes from bases[r], and the regions follow one another in
// block numbering. The main controller flow reads the region counts of a
// freshly built map, so the table is public.
template <std::size_t N> struct FlashRegionTable {
    std::array<std::uint32_t, N> bases{};
    std::array<std::uint32_t, N> counts{};
    std::array<std::uint32_t, N> sizes{};

    constexpr explicit FlashRegionTable(const std::array<FlashBlockRun, N>& regions) {
        for (std::size_t r = 0; r < N; ++r) {
            bases[r] = regions[r].base;
            counts[r] = regions[r].count;
            sizes[r] = regions[r].size;
        }
    }

    constexpr std::array<FlashBlockRun, N> runs() const {
        std::array<FlashBlockRun, N> result{};
        for (std::size_t r = 0; r < N; ++r)
            result[r] = {bases[r], counts[r], sizes[r]};
        return result;
    }
};

template <std::size_t N> class CRegionFlashMap : public CFlashMap {
public:
    // Block 6 on every region map.
    static constexpr std::uint32_t kReservedStart = 0x10060000;
    static constexpr std::uint32_t kReservedSize = 0x10000;

    std::uint32_t GetBlockAddress(std::int32_t index) const override {
        return blockAddressIn(regions.runs(), index);
    }
    std::uint32_t GetBlockSize(std::int32_t index) const override {
        return blockSizeIn(regions.runs(), index);
    }
    bool IsReservedAddress(std::uint32_t address) const override {
        return inReservedRange(address, GetReservedStart(), GetReservedSize());
    }
    std::uint64_t GetReservedRunEnd(std::uint32_t address) const override {
        return reservedRunEnd(address, GetReservedStart(), GetReservedSize());
    }
    virtual std::uint32_t GetReservedStart() const { return kReservedStart; }
    virtual std::uint32_t GetReservedSize() const { return kReservedSize; }

    FlashRegionTable<N> regions;

protected:
    explicit CRegionFlashMap(const std::array<FlashBlockRun, N>& table) : regions(table) {}
};

class CDorianFlash : public CRegionFlashMap<4> {
public:
    CDorianFlash();
};

class CYewFlash : public CRegionFlashMap<3> {
public:
    CYewFlash();
};

// Same region table as CYewFlash.
class CTorvoFlash : public CRegionFlashMap<3> {
public:
    CTorvoFlash();
};
