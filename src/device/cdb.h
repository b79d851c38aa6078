#pragma once

#include "device/msg_buffer.h"

#include <array>
#include <cstddef>
#include <cstdint>

// One command descriptor block. It is always made from a constant template of
// 6 or 10 bytes, whose length is the length of the block, and then patched in
// place; a patch that would reach past the block throws std::out_of_range
// rather than lengthen the command.
class CCDB : public CMsgBuffer {
public:
    template <std::size_t N> explicit CCDB(const std::uint8_t (&pattern)[N]) : CCDB(pattern, N) {
        static_assert(N == 6 || N == 10, "a command block is 6 or 10 bytes");
    }
    template <std::size_t N>
    explicit CCDB(const std::array<std::uint8_t, N>& pattern) : CCDB(pattern.data(), N) {
        static_assert(N == 6 || N == 10, "a command block is 6 or 10 bytes");
    }

    void setByte(std::size_t i, std::uint8_t value);
    void setBE16(std::size_t i, std::uint16_t value) { writeBE(i, 2, value); }
    // The low 24 bits of value go to bytes i..i+2.
    void setBE24(std::size_t i, std::uint32_t value) { writeBE(i, 3, value); }
    void setBE32(std::size_t i, std::uint32_t value) { writeBE(i, 4, value); }

private:
    CCDB(const std::uint8_t* pattern, std::size_t length);
};
