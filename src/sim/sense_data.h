#pragma once

#include <array>
#include <cstdint>

// Sense codes the scanner answers with, and their fixed-format sense data.
namespace sim {

struct Sense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
constexpr Sense kAddressOutOfRange{0x05, 0x21, 0x00};
constexpr Sense kInvalidField{0x05, 0x24, 0x00};
constexpr Sense kInvalidParameter{0x05, 0x26, 0x00};
constexpr Sense kOutOfSequence{0x05, 0x2C, 0x00};

// 70 00 key 00 00 00 00 0A 00 00 00 00 asc ascq 00 00 00 00
inline std::array<std::uint8_t, 18> FixedSense(const Sense& sense) {
    std::array<std::uint8_t, 18> data{};
    data[0] = 0x70;
    data[2] = sense.key;
    data[7] = 10;
    data[12] = sense.asc;
    data[13] = sense.ascq;
    return data;
}

} // namespace sim
