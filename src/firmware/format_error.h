#pragma once

#include <cstdint>

// The small error value raised by the image reader and the flash maps:
// 0 for a malformed record (too short, bad digit, odd length, checksum) or a
// block index past the end of a map, 1 for an unsupported record type.
class CFormatError {
public:
    enum Value : std::uint32_t { kMalformed = 0, kUnsupportedRecord = 1 };

    explicit CFormatError(std::uint32_t value) : value_(value) {}
    std::uint32_t value() const { return value_; }

private:
    std::uint32_t value_;
};
