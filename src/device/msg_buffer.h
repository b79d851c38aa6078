#pragma once

#include "device/message.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A growable byte array that can also travel through a message queue: command
// data, replies, command blocks and the request block of a failed command are
// all kept in one. New bytes are always zero.
//
// Multi-byte numbers in command blocks and command data are big-endian. A
// read or write that does not fit inside the buffer throws std::out_of_range
// naming the position and the size; a buffer only grows through setSize() and
// assign(), never as a side effect of a patch.
class CMsgBuffer : public CMessage {
public:
    explicit CMsgBuffer(std::size_t size = 0) : bytes_(size, 0) {}

    int type() const override { return kBuffer; }

    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    // Unchecked, like any array index.
    std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }

    // Bytes added at the end are zero; bytes kept keep their values.
    void setSize(std::size_t size) { bytes_.resize(size, 0); }
    void fill(std::uint8_t value);
    // The contents become the n bytes at `source`; the size becomes n.
    void assign(const std::uint8_t* source, std::size_t n);

    void writeBE32(std::size_t position, std::uint32_t value);
    std::uint32_t readBE32(std::size_t position) const;

    // The unsigned sum of all bytes.
    std::uint32_t byteSum() const;

protected:
    // Writes the low `width` bytes of `value`, most significant first.
    void writeBE(std::size_t position, std::size_t width, std::uint32_t value);
    void checkRange(std::size_t position, std::size_t width) const;

private:
    std::vector<std::uint8_t> bytes_;
};
