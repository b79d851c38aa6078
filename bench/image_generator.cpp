#include "image_generator.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <vector>

namespace bench {

namespace {

constexpr std::uint32_t kMainStart = 0x10000000;
constexpr std::uint32_t kSecondStart = 0x104000;
constexpr std::uint32_t kSecondBytes = 0xC000;
constexpr std::uint32_t kRecordBytes = 32;

const char kHex[] = "0123456789ABCDEF";

void putByte(std::string& line, std::uint8_t value) {
    line.push_back(kHex[value >> 4]);
    line.push_back(kHex[value & 15]);
}

// One S2 or S3 record with its checksum.
std::string record(int type, std::uint32_t address, const std::uint8_t* data, std::size_t n) {
    const int addressBytes = type + 1;
    std::string line = "S";
    line.push_back(static_cast<char>('0' + type));
    const auto count = static_cast<std::uint8_t>(addressBytes + n + 1);
    unsigned sum = count;
    putByte(line, count);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const auto b = static_cast<std::uint8_t>(address >> (8 * i));
        putByte(line, b);
        sum += b;
    }
    for (std::size_t i = 0; i < n; ++i) {
        putByte(line, data[i]);
        sum += data[i];
    }
    putByte(line, static_cast<std::uint8_t>(~sum));
    line += "\r\n";
    return line;
}

} // namespace

std::string GenerateImage(const ImageShape& shape, std::uint64_t* dataBytes) {
    std::mt19937 random(12345);
    std::vector<std::string> lines;
    std::uint8_t data[kRecordBytes];
    auto fill = [&] {
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
    };
    std::uint64_t total = 0;
    for (std::uint64_t at = 0; at < shape.mainBytes; at += kRecordBytes) {
        fill();
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kRecordBytes, shape.mainBytes - at));
        lines.push_back(record(3, static_cast<std::uint32_t>(kMainStart + at), data, n));
        total += n;
    }
    for (std::uint32_t at = 0; at < kSecondBytes; at += kRecordBytes) {
        fill();
        lines.push_back(record(2, kSecondStart + at, data, kRecordBytes));
        total += kRecordBytes;
    }
    if (shape.order == Order::Shuffled)
        std::shuffle(lines.begin(), lines.end(), random);
    if (shape.order == Order::Overlapping) {
        const std::size_t records = static_cast<std::size_t>(shape.mainBytes / kRecordBytes);
        for (std::size_t i = 0; i < records; i += 16) {
            fill();
            const auto shift = static_cast<std::uint32_t>(random() % kRecordBytes);
            lines.push_back(
                record(3, kMainStart + static_cast<std::uint32_t>(i) * kRecordBytes + shift, data,
                       kRecordBytes - shift));
            total += kRecordBytes - shift;
        }
    }
    std::string text = "S0030000FC\r\n";
    std::size_t size = text.size();
    for (const auto& line : lines)
        size += line.size();
    text.reserve(size + 16);
    for (const auto& line : lines)
        text += line;
    text += "S70510000000EA\r\n";
    if (dataBytes != nullptr)
        *dataBytes = total;
    return text;
}

bool WriteImage(const std::string& path, const ImageShape& shape) {
    const std::string text = GenerateImage(shape);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

} // namespace bench
