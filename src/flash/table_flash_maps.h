#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_map.h"

// The maps whose layout is a constant table of block rows.

// A table layout: its block rows and its reserved range, empty where the
// processor has none.
struct FlashTableLayout {
    std::span<const FlashBlockRun> runs;
    std::uint32_t reservedStart = 0;
    std::uint32_t reservedSize = 0;
};

// The layouts themselves, defined with their rows in table_flash_maps.cpp.
namespace flash_layouts {
extern const FlashTableLayout kR826;
extern const FlashTableLayout kM16C64;
extern const FlashTableLayout kTavrinSh2;
extern const FlashTableLayout k4m;
extern const FlashTableLayout k8m;
extern const FlashTableLayout k8m2m;
extern const FlashTableLayout kMiraz;
extern const FlashTableLayout k2m8m;
extern const FlashTableLayout k8m16m;
extern const FlashTableLayout kSolta;
extern const FlashTableLayout kQuill;
} // namespace flash_layouts

// A map answering from one table layout; it adds no state of its own.
template <const FlashTableLayout& Layout> class CTableFlashMap : public CFlashMap {
public:
    std::uint32_t GetBlockAddress(std::int32_t index) const override {
        return blockAddressIn(Layout.runs, index);
    }
    std::uint32_t GetBlockSize(std::int32_t index) const override {
        return blockSizeIn(Layout.runs, index);
    }
    bool IsReservedAddress(std::uint32_t address) const override {
        return inReservedRange(address, GetReservedStart(), GetReservedSize());
    }
    std::uint64_t GetReservedRunEnd(std::uint32_t address) const override {
        return reservedRunEnd(address, GetReservedStart(), GetReservedSize());
    }
    virtual std::uint32_t GetReservedStart() const { return Layout.reservedStart; }
    virtual std::uint32_t GetReservedSize() const { return Layout.reservedSize; }
};

// The sub drive processor: 8 blocks of 4 KiB from 0x8000, nothing reserved.
class CR826FlashMap : public CTableFlashMap<flash_layouts::kR826> {
public:
    // "No reserved start" from any address on.
    virtual std::uint32_t FindReservedStart(std::uint32_t /*from*/) const { return 0xFFFFFFFF; }
};

// The main drive and authentication processors: 7 blocks of 64 KiB from
// 0x80000, nothing reserved.
class CM16C64FlashMap : public CTableFlashMap<flash_layouts::kM16C64> {};

class CTavrinSh2Flash : public CTableFlashMap<flash_layouts::kTavrinSh2> {};

class C4mFlash : public CTableFlashMap<flash_layouts::k4m> {};

// 1 MiB whose 256-byte reserved range sits where the product keeps it; the
// product selection sets the start.
class C8mFlash : public CTableFlashMap<flash_layouts::k8m> {
public:
    static constexpr std::uint32_t kReservedSize = 256;

    void SetReservedStart(std::uint32_t address) override { reservedStart_ = address; }
    std::uint32_t GetReservedStart() const override { return reservedStart_; }
    std::uint32_t GetReservedSize() const override { return kReservedSize; }

private:
    std::uint32_t reservedStart_ = 0;
};

class C8m2mFlash : public CTableFlashMap<flash_layouts::k8m2m> {};

// CMirazFlash and CRowanFlash share their layout, and so do CQuillFlash and
// CZTFlash; they stay separate classes because the product selection names
// them separately.
class CMirazFlash : public CTableFlashMap<flash_layouts::kMiraz> {};
class CRowanFlash : public CTableFlashMap<flash_layouts::kMiraz> {};

// Nothing reserved.
class C2m8mFlash : public CTableFlashMap<flash_layouts::k2m8m> {};

class C8m16mFlash : public CTableFlashMap<flash_layouts::k8m16m> {};

class CSoltaFlash : public CTableFlashMap<flash_layouts::kSolta> {};

class CQuillFlash : public CTableFlashMap<flash_layouts::kQuill> {};
class CZTFlash : public CTableFlashMap<flash_layouts::kQuill> {};
