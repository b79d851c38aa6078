#include "device/msg_buffer.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string>

void CMsgBuffer::fill(std::uint8_t value) {
    std::fill(bytes_.begin(), bytes_.end(), value);
}

void CMsgBuffer::assign(const std::uint8_t* source, std::size_t n) {
    if (n == 0) {
        bytes_.clear();
        return;
    }
    bytes_.assign(source, source + n);
}

void CMsgBuffer::checkRange(std::size_t position, std::size_t width) const {
    if (position > bytes_.size() || width > bytes_.size() - position)
        throw std::out_of_range("byte buffer: " + std::to_string(width) + " bytes at position " +
                                std::to_string(position) + " do not fit in " +
                                std::to_string(bytes_.size()));
}

void CMsgBuffer::writeBE(std::size_t position, std::size_t width, std::uint32_t value) {
    checkRange(position, width);
    for (std::size_t i = width; i-- > 0;) {
        bytes_[position + i] = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
}

void CMsgBuffer::writeBE32(std::size_t position, std::uint32_t value) {
    writeBE(position, 4, value);
}

std::uint32_t CMsgBuffer::readBE32(std::size_t position) const {
    checkRange(position, 4);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | bytes_[position + i];
    return value;
}

std::uint32_t CMsgBuffer::byteSum() const {
    return std::accumulate(bytes_.begin(), bytes_.end(), std::uint32_t{0});
}
