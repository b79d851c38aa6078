#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Builds S-record lines the way an image tool writes them, so that tests do not
// depend on the reader's own checksum arithmetic.
namespace srecord_lines {

inline std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

struct Options {
    std::optional<std::uint8_t> count;    // the count field written, else the true one
    std::optional<std::uint8_t> checksum; // the checksum written, else the true one
};

// An S1, S2 or S3 line (type 1, 2 or 3) holding `data` at `address`. The checksum
// is the one's complement of the byte sum of count, address and data as written.
inline std::string record(int type, std::uint32_t address, const std::vector<std::uint8_t>& data,
                          Options options = {}) {
    const int addressBytes = type + 1;
    const std::uint8_t count =
        options.count.value_or(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
    std::uint32_t sum = count;
    for (int i = 0; i < addressBytes; ++i)
        sum += (address >> (8 * i)) & 0xFF;
    std::string line = "S" + std::to_string(type) + hex(count, 2) + hex(address, 2 * addressBytes);
    for (std::uint8_t byte : data) {
        line += hex(byte, 2);
        sum += byte;
    }
    return line + hex(options.checksum.value_or(static_cast<std::uint8_t>(~sum)), 2);
}

inline std::vector<std::uint8_t> bytes(std::size_t count, std::uint8_t value) {
    return std::vector<std::uint8_t>(count, value);
}

} // namespace srecord_lines
