#pragma once

#include <cstdint>
#include <cstring>

// A pointer kept in storage aligned to a byte only, so that a struct of 32-bit
// fields and one pointer needs no padding: an image has millions of records,
// and the list and the fill hold such a struct for every one.
template <typename T> class PackedPointer {
public:
    // Not explicit: it stands for the pointer it holds.
    PackedPointer(T* pointer = nullptr) { set(pointer); }
    T* get() const {
        T* pointer = nullptr;
        std::memcpy(&pointer, bytes_, sizeof pointer);
        return pointer;
    }
    void set(T* pointer) { std::memcpy(bytes_, &pointer, sizeof pointer); }

private:
    std::uint8_t bytes_[sizeof(T*)];
};
