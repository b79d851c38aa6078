#include "device/sti_passthrough.h"

#include <algorithm>
#include <cstring>

namespace sti {

namespace {

void putLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putHeader(std::uint8_t* p, Direction direction, const std::uint8_t* cdb,
               std::size_t cdbLength) {
    const std::size_t length = std::min(cdbLength, kCdbCapacity);
    putLe32(p + kDirectionOffset, direction);
    std::memcpy(p + kCdbOffset, cdb, length);
    p[kCdbLengthOffset] = static_cast<std::uint8_t>(length);
    p[kCdbLengthOffset + 1] = 0;
}

} // namespace

Request32 BuildRequest32(Direction direction, const std::uint8_t* cdb, std::size_t cdbLength,
                         std::uint32_t dataLength, std::uint32_t dataAddress,
                         std::uint32_t statusAddress) {
    Request32 request{};
    putHeader(request.data(), direction, cdb, cdbLength);
    putLe32(request.data() + kRequestDataLengthOffset, dataLength);
    putLe32(request.data() + kRequestDataAddressOffset, dataAddress);
    putLe32(request.data() + kRequestStatusAddressOffset, statusAddress);
    return request;
}

std::vector<std::uint8_t> BuildPacket(Direction direction, const std::uint8_t* cdb,
                                      std::size_t cdbLength, const std::uint8_t* data,
                                      std::size_t dataLength) {
    const bool sends = direction == kDataOut;
    const std::size_t size = sends && dataLength > 4 ? dataLength + kPacketHeaderSize : 28;
    std::vector<std::uint8_t> packet(size, 0);
    putHeader(packet.data(), direction, cdb, cdbLength);
    putLe32(packet.data() + kPacketDataLengthOffset, static_cast<std::uint32_t>(dataLength));
    if (sends && data != nullptr && dataLength != 0)
        std::memcpy(packet.data() + kPacketHeaderSize, data, dataLength);
    return packet;
}

std::vector<std::uint8_t> BuildOutputBuffer(Direction direction, std::size_t dataLength) {
    const std::size_t receiving = direction == kDataIn ? dataLength : 0;
    std::vector<std::uint8_t> out(std::max<std::size_t>(receiving + kStatusBlockSize, 72), 0);
    if (receiving > 511) {
        std::uint8_t* data = out.data() + kStatusBlockSize;
        data[0] = kGuardByte;
        data[receiving - 1] = kGuardByte;
        for (std::size_t offset = 256; offset < receiving - 256; offset += 512)
            data[offset] = kGuardByte;
    }
    return out;
}

std::uint32_t CompletionValue(const std::uint8_t* statusBlock) {
    return static_cast<std::uint32_t>(statusBlock[0]) |
           static_cast<std::uint32_t>(statusBlock[1]) << 8 |
           static_cast<std::uint32_t>(statusBlock[2]) << 16 |
           static_cast<std::uint32_t>(statusBlock[3]) << 24;
}

} // namespace sti
