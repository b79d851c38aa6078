#pragma once

#include <cstdint>

// Request blocks of 32-bit Windows processes (the ASPI request block, the
// 32-bit STI pass-through request) carry buffer addresses in 32-bit fields.
// On a 32-bit host the field holds the address itself. On a 64-bit host it
// holds a stand-in value that this layer maps to the buffer for as long as the
// Address32 object lives, and that the providers behind the layer resolve.
namespace platform {

class Address32 {
public:
    explicit Address32(const void* buffer);
    ~Address32();
    Address32(const Address32&) = delete;
    Address32& operator=(const Address32&) = delete;

    // 0 for a null buffer.
    std::uint32_t value() const { return value_; }

private:
    std::uint32_t value_;
};

// The buffer a 32-bit address field stands for; null for 0 and for a value
// that no live Address32 maps.
void* ResolveAddress32(std::uint32_t value);

} // namespace platform
