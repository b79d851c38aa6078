#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The pass-through requests that carry a command block through the Still
// Image device's escape 1. Both are little-endian platform structures.
//
// A 32-bit process on 32-bit Windows hands the driver the address of a 32-byte
// request that points at the data buffer and the 68-byte status block. Under
// WOW64 everything goes by value: an input packet that holds the data to the
// device, and an output buffer that receives the status block followed by the
// data from the device.
namespace sti {

enum Direction : std::uint32_t { kNoData = 0, kDataIn = 1, kDataOut = 2 };

constexpr std::size_t kRequestSize = 32;
constexpr std::size_t kStatusBlockSize = 68;
constexpr std::size_t kCdbCapacity = 10;
constexpr std::size_t kPacketHeaderSize = 24;
constexpr std::uint8_t kGuardByte = 0x62;

// Where the fields lie. Both start with the same header: direction, command
// block, its length.
constexpr std::size_t kDirectionOffset = 0;
constexpr std::size_t kCdbOffset = 4;
constexpr std::size_t kCdbLengthOffset = 14;
constexpr std::size_t kRequestDataLengthOffset = 16;
constexpr std::size_t kRequestDataAddressOffset = 20;
constexpr std::size_t kRequestStatusAddressOffset = 24;
constexpr std::size_t kPacketDataLengthOffset = 20;

// The two as a 32-bit process's structures, which the driver reads them as.
struct Request32Layout {
    std::uint32_t direction;
    std::uint8_t cdb[kCdbCapacity];
    std::uint16_t cdbLength;
    std::uint32_t dataLength;
    void* data;
    void* statusBlock;
    std::uint32_t reserved;
};

struct PacketHeaderLayout {
    std::uint32_t direction;
    std::uint8_t cdb[kCdbCapacity];
    std::uint16_t cdbLength;
    std::uint32_t reserved;
    std::uint32_t dataLength;
    // The data to the device follows.
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// In a 32-bit build the bytes built below are exactly those structures.
static_assert(sizeof(Request32Layout) == kRequestSize);
static_assert(offsetof(Request32Layout, direction) == kDirectionOffset);
static_assert(offsetof(Request32Layout, cdb) == kCdbOffset);
static_assert(offsetof(Request32Layout, cdbLength) == kCdbLengthOffset);
static_assert(offsetof(Request32Layout, dataLength) == kRequestDataLengthOffset);
static_assert(offsetof(Request32Layout, data) == kRequestDataAddressOffset);
static_assert(offsetof(Request32Layout, statusBlock) == kRequestStatusAddressOffset);
static_assert(sizeof(PacketHeaderLayout) == kPacketHeaderSize);
static_assert(offsetof(PacketHeaderLayout, direction) == kDirectionOffset);
static_assert(offsetof(PacketHeaderLayout, cdb) == kCdbOffset);
static_assert(offsetof(PacketHeaderLayout, cdbLength) == kCdbLengthOffset);
static_assert(offsetof(PacketHeaderLayout, dataLength) == kPacketDataLengthOffset);
#endif

using Request32 = std::array<std::uint8_t, kRequestSize>;

// direction (4), command block (10), its length (2), data length (4), data
// address (4), status block address (4), 0 (4).
Request32 BuildRequest32(Direction direction, const std::uint8_t* cdb, std::size_t cdbLength,
                         std::uint32_t dataLength, std::uint32_t dataAddress,
                         std::uint32_t statusAddress);

// 28 bytes, or data length + 24 when more than 4 bytes go to the device:
// direction (4), command block (10), its length (2), 0 (4), data length (4),
// then the data to the device (direction 2 only).
std::vector<std::uint8_t> BuildPacket(Direction direction, const std::uint8_t* cdb,
                                      std::size_t cdbLength, const std::uint8_t* data,
                                      std::size_t dataLength);

// Status block and room for the data from the device: data length + 68 bytes
// for direction 1, at least 72. Zero-filled; when more than 511 data bytes are
// expected the data bytes at offsets 0, length - 1 and 256, 768, ... (every 512
// from 256 while below length - 256) are preset to the guard byte 0x62.
std::vector<std::uint8_t> BuildOutputBuffer(Direction direction, std::size_t dataLength);

// The status block's first value: 1 when the command completed successfully.
std::uint32_t CompletionValue(const std::uint8_t* statusBlock);

} // namespace sti
