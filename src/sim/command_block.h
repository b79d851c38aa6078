#pragma once

#include "sim/sense_data.h"
#include "sim/virtual_scanner.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

// A command block with its data, as one command handler sees it, and the
// handler's answer.
namespace sim {

inline std::uint32_t ReadBE32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

inline void WriteBE32(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
}

struct Request {
    const std::uint8_t* cdb = nullptr;
    std::size_t cdbLength = 0;
    DataDirection direction = DataDirection::None;
    std::uint8_t* data = nullptr;
    std::size_t length = 0;

    // Bytes past the end of the block read as zero; handlers check the
    // block's length before trusting them.
    std::uint8_t at(std::size_t i) const { return i < cdbLength ? cdb[i] : 0; }
    std::uint16_t be16(std::size_t i) const {
        return static_cast<std::uint16_t>((at(i) << 8) | at(i + 1));
    }
    std::uint32_t be24(std::size_t i) const {
        return (std::uint32_t{at(i)} << 16) | (std::uint32_t{at(i + 1)} << 8) | at(i + 2);
    }
    std::uint32_t be32(std::size_t i) const { return (std::uint32_t{at(i)} << 24) | be24(i + 1); }

    // The host sends exactly `n` bytes with the command.
    bool carries(std::size_t n) const {
        if (n == 0)
            return carriesNothing();
        return direction == DataDirection::Out && length == n && data != nullptr;
    }
    // No data moves with the command.
    bool carriesNothing() const { return direction == DataDirection::None || length == 0; }

    // Copies reply data into the host's buffer, as much as fits; the bytes moved.
    std::size_t give(const std::uint8_t* reply, std::size_t n) const {
        if (direction != DataDirection::In || data == nullptr)
            return 0;
        const std::size_t moved = std::min(n, length);
        if (moved > 0)
            std::memcpy(data, reply, moved);
        return moved;
    }
};

struct Reply {
    std::optional<Sense> failure;
    std::size_t transferred = 0;
};

inline Reply Fail(const Sense& sense) {
    return Reply{sense, 0};
}
inline Reply Good(std::size_t transferred = 0) {
    return Reply{std::nullopt, transferred};
}
inline Reply FromStep(const std::optional<Sense>& failure, std::size_t transferred = 0) {
    return failure ? Fail(*failure) : Good(transferred);
}

} // namespace sim
