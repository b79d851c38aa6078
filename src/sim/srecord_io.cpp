#include "sim/srecord_io.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace sim {

namespace {

constexpr std::size_t kMaxDataBytes = 32;

void appendHexByte(std::string& out, std::uint8_t value) {
    static const char digits[] = "0123456789ABCDEF";
    out += digits[value >> 4];
    out += digits[value & 0x0F];
}

// One record: type, address of `addressBytes` bytes, data, checksum.
std::string record(char type, std::uint32_t address, unsigned addressBytes,
                   const std::uint8_t* data, std::size_t length) {
    std::string line = {'S', type};
    const auto count = static_cast<std::uint8_t>(addressBytes + length + 1);
    std::uint8_t sum = count;
    appendHexByte(line, count);
    for (unsigned i = addressBytes; i-- > 0;) {
        const auto b = static_cast<std::uint8_t>(address >> (8 * i));
        sum = static_cast<std::uint8_t>(sum + b);
        appendHexByte(line, b);
    }
    for (std::size_t i = 0; i < length; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
        appendHexByte(line, data[i]);
    }
    appendHexByte(line, static_cast<std::uint8_t>(~sum));
    line += '\n';
    return line;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

[[noreturn]] void badLine(std::size_t lineNumber, const std::string& what) {
    throw std::invalid_argument("line " + std::to_string(lineNumber) + ": " + what);
}

} // namespace

std::string WriteSRecords(const std::string& header, const std::vector<DataRun>& runs) {
    std::string text = record('0', 0, 2, reinterpret_cast<const std::uint8_t*>(header.data()),
                              std::min<std::size_t>(header.size(), 250));
    for (const DataRun& run : runs) {
        for (std::size_t at = 0; at < run.bytes.size(); at += kMaxDataBytes) {
            const std::size_t n = std::min(kMaxDataBytes, run.bytes.size() - at);
            text += record('3', static_cast<std::uint32_t>(run.address + at), 4,
                           run.bytes.data() + at, n);
        }
    }
    text += record('7', 0, 4, nullptr, 0);
    return text;
}

std::vector<DataRun> ReadSRecords(const std::string& text) {
    std::vector<DataRun> result;
    std::size_t from = 0;
    std::size_t lineNumber = 0;
    while (from < text.size()) {
        auto end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(from, end - from);
        from = end + 1;
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line.empty())
            continue;
        if (line.size() < 4 || (line[0] != 'S' && line[0] != 's'))
            badLine(lineNumber, "not an S-record");
        const char type = line[1];
        if ((line.size() - 2) % 2 != 0)
            badLine(lineNumber, "odd number of hex digits");
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 2; i < line.size(); i += 2) {
            const int hi = hexValue(line[i]);
            const int lo = hexValue(line[i + 1]);
            if (hi < 0 || lo < 0)
                badLine(lineNumber, "not a hex digit");
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        if (bytes[0] + 1u != bytes.size())
            badLine(lineNumber, "byte count does not match the record");
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        if (static_cast<std::uint8_t>(~sum) != bytes.back())
            badLine(lineNumber, "checksum mismatch");
        unsigned addressBytes = 0;
        switch (type) {
        case '1':
            addressBytes = 2;
            break;
        case '2':
            addressBytes = 3;
            break;
        case '3':
            addressBytes = 4;
            break;
        case '0':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            continue;
        default:
            badLine(lineNumber, std::string("unknown record type S") + type);
        }
        if (bytes.size() < addressBytes + 2)
            badLine(lineNumber, "record too short for its address");
        DataRun run;
        for (unsigned i = 0; i < addressBytes; ++i)
            run.address = (run.address << 8) | bytes[1 + i];
        run.bytes.assign(bytes.begin() + 1 + addressBytes, bytes.end() - 1);
        result.push_back(std::move(run));
    }
    return result;
}

} // namespace sim
