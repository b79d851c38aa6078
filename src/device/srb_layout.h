#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/aspi.h"

// The 80-byte request block of an ASPI "execute SCSI command" request. The ASPI
// transport fills one per command, and a failed command keeps a copy in its
// CCmdError, where the status, the command block and the sense area are read.
// It is a little-endian platform structure (unlike the big-endian fields
// inside command blocks); the data buffer and event fields are 32-bit handles.
using SRB_ExecSCSICmd = platform::SRB_ExecSCSICmd;

namespace srb {

constexpr std::size_t kSize = 80;
constexpr std::size_t kStatus = 1;
constexpr std::size_t kCdb = 48;
constexpr std::size_t kCdbCapacity = 16;
constexpr std::size_t kSense = 64;
constexpr std::size_t kSenseCapacity = 16;
// Bytes of sense data requested and used.
constexpr std::size_t kSenseRequested = 14;

// Command codes.
constexpr std::uint8_t kHostAdapterInquiry = 0;
constexpr std::uint8_t kExecSCSICmd = 2;
constexpr std::uint8_t kRescanBus = 7;

// Status values.
constexpr std::uint8_t kPending = 0;
constexpr std::uint8_t kComplete = 1;
constexpr std::uint8_t kError = 4;

// Flags.
constexpr std::uint8_t kDataToHost = 0x08;
constexpr std::uint8_t kDataToDevice = 0x10;
constexpr std::uint8_t kPostByEvent = 0x40;

using Bytes = std::array<std::uint8_t, kSize>;

inline Bytes toBytes(const SRB_ExecSCSICmd& block) {
    Bytes bytes;
    std::memcpy(bytes.data(), &block, kSize);
    return bytes;
}

inline SRB_ExecSCSICmd fromBytes(const std::uint8_t* bytes) {
    SRB_ExecSCSICmd block;
    std::memcpy(&block, bytes, kSize);
    return block;
}

} // namespace srb

static_assert(std::endian::native == std::endian::little,
              "the request block is laid out for a little-endian platform");
static_assert(sizeof(SRB_ExecSCSICmd) == srb::kSize);
static_assert(offsetof(SRB_ExecSCSICmd, status) == srb::kStatus);
static_assert(offsetof(SRB_ExecSCSICmd, hostAdapter) == 2);
static_assert(offsetof(SRB_ExecSCSICmd, flags) == 3);
static_assert(offsetof(SRB_ExecSCSICmd, headerReserved) == 4);
static_assert(offsetof(SRB_ExecSCSICmd, target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, lun) == 9);
static_assert(offsetof(SRB_ExecSCSICmd, reserved1) == 10);
static_assert(offsetof(SRB_ExecSCSICmd, dataLength) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, dataBuffer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, senseLength) == 20);
static_assert(offsetof(SRB_ExecSCSICmd, cdbLength) == 21);
static_assert(offsetof(SRB_ExecSCSICmd, hostAdapterStatus) == 22);
static_assert(offsetof(SRB_ExecSCSICmd, targetStatus) == 23);
static_assert(offsetof(SRB_ExecSCSICmd, postEvent) == 24);
static_assert(offsetof(SRB_ExecSCSICmd, reserved2) == 28);
static_assert(offsetof(SRB_ExecSCSICmd, cdb) == srb::kCdb);
static_assert(offsetof(SRB_ExecSCSICmd, sense) == srb::kSense);
