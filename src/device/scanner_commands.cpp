#include "device/scanner.h"

#include "firmware/address_data.h"
#include "platform/file_names.h"
#include "settings/localisation.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>

namespace {

const std::uint8_t kSelectProcessor[6] = {0xD9, 0, 0, 0, 0, 0};
const std::uint8_t kUpdateMode[10] = {0xFF, 0, 0x65, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kPrepareUpdateMode[10] = {0xFE, 0, 0x65, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kRestart[10] = {0xFF, 0, 0xC7, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kErase[10] = {0xFF, 0, 0xC3, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kEraseBlock[10] = {0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kMemoryWrite[10] = {0x2D, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kMemoryRead[10] = {0x2E, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kChecksumRange[10] = {0xFF, 0, 0xB2, 0, 0, 0, 0, 0, 0x0C, 0};
const std::uint8_t kChecksumRead[10] = {0xFF, 0, 0xB3, 0, 0, 0, 0, 0, 0x0C, 0};
const std::uint8_t kProcessorInformation[10] = {0xFF, 0, 0xCF, 0, 0, 0, 0, 0, 0x18, 0};

constexpr std::size_t kMemoryPiece = 1024;
constexpr std::size_t kChecksumLength = 12;
constexpr std::size_t kProcessorReplyLength = 24;

enum class EraseKind { kBlock, kCommand, kByRevision, kNone };

struct EraseRule {
    std::initializer_list<const char*> models;
    EraseKind kind;
    std::uint32_t address;
};

// First match wins.
const EraseRule kEraseRules[] = {
    {{"SX-4700C", "SX-2700", "SX-3600", "ZEPA"}, EraseKind::kBlock, 0x220000},
    {{"SX-3400C", "XR2", "SX-3300C", "XR"}, EraseKind::kBlock, 0x70000},
    {{"SX-2300C", "MORVI",  "SX-2500C", "SX-1600C", "SunDrift", "RX-65",    "Fern",     "SX-2200C",
      "SX-2400C", "BELTA",  "SX-W50C",  "SX-4600C", "SX-3500C", "SX-2600C", "SX-1700C", "SX-1200C",
      "SX-1500C", "LUMIKA", "SX-470M",  "SX-K25",   "SX-K45",   "SX-K30",   "SX-K20",   "SX-V730",
      "SX-V700",  "M-T18",  "SX-T18",   "RX-690i",  "RX-610i",  "M-T11",    "SX-T11"},
     EraseKind::kCommand,
     0},
    {{"SX-1400C", "SX-1300C", "OLK"}, EraseKind::kByRevision, 0},
    {{"RX-680", "TAVRIN"}, EraseKind::kBlock, 0x40030000},
    {{"SX-105", "M-105", "Do-RIAN", "SX-T25", "M-T25"}, EraseKind::kBlock, 0x1006FF00},
};

std::string textUpToZero(const std::uint8_t* bytes, std::size_t length) {
    std::size_t n = 0;
    while (n < length && bytes[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(bytes), n);
}

CCDB memoryBlock(const std::uint8_t (&pattern)[10], std::uint32_t address, std::size_t length) {
    CCDB cdb(pattern);
    cdb.setBE32(2, address);
    cdb.setBE24(6, static_cast<std::uint32_t>(length));
    return cdb;
}

} // namespace

void CScanner::selectProcessor(int n) {
    CCDB cdb(kSelectProcessor);
    cdb.setByte(4, static_cast<std::uint8_t>(n));
    execute(cdb);
}

void CScanner::enterUpdateMode() {
    execute(CCDB(kUpdateMode));
}

void CScanner::prepareUpdateMode(int variant) {
    CCDB cdb(kPrepareUpdateMode);
    cdb.setByte(5, static_cast<std::uint8_t>(variant));
    execute(cdb);
}

void CScanner::restart() {
    execute(CCDB(kRestart));
}

void CScanner::eraseBlock(std::uint32_t address) {
    CCDB cdb(kEraseBlock);
    cdb.setBE32(2, address);
    execute(cdb);
}

void CScanner::eraseBlockAt(const CAddressData& record) {
    eraseBlock(record.address());
}

void CScanner::writeMemory(std::uint32_t address, const CMsgBuffer& buffer) {
    writeMemory(address, buffer.data(), buffer.size());
}

void CScanner::writeMemory(std::uint32_t address, const std::uint8_t* bytes, std::size_t length) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    while (length > 0) {
        const std::size_t piece = std::min(length, kMemoryPiece);
        executeOut(memoryBlock(kMemoryWrite, address, piece), bytes, piece);
        address += static_cast<std::uint32_t>(piece);
        bytes += piece;
        length -= piece;
    }
}

void CScanner::writeRecord(const CAddressData& record) {
    writeMemory(record.address(), record.data(), record.size());
}

void CScanner::readMemory(CAddressData& record) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    std::uint32_t address = record.address();
    std::uint8_t* bytes = record.data();
    std::size_t length = record.size();
    while (length > 0) {
        const std::size_t piece = std::min(length, kMemoryPiece);
        executeIn(memoryBlock(kMemoryRead, address, piece), bytes, piece);
        address += static_cast<std::uint32_t>(piece);
        bytes += piece;
        length -= piece;
    }
}

void CScanner::eraseFirmwareArea() {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    for (const EraseRule& rule : kEraseRules) {
        const bool matches = std::any_of(rule.models.begin(), rule.models.end(),
                                         [this](const char* model) { return productIs(model); });
        if (!matches)
            continue;
        switch (rule.kind) {
        case EraseKind::kBlock:
            eraseBlock(rule.address);
            return;
        case EraseKind::kCommand:
            execute(CCDB(kErase));
            return;
        case EraseKind::kByRevision: {
            std::uint8_t data[36];
            inquiry(data, sizeof data);
            versionString = textUpToZero(data + 32, 4);
            eraseBlock(platform::EqualsNoCase(versionString, "B027") ? 0x10000 : 0x20000);
            return;
        }
        case EraseKind::kNone:
            break;
        }
    }
    throw CCmdError(Translate("Unknown Error"));
}

std::uint32_t CScanner::checksum(std::uint32_t start, std::uint32_t length) {
    std::lock_guard<std::recursive_mutex> guard(commands_);
    CMsgBuffer buffer(kChecksumLength);
    buffer.writeBE32(0, start);
    buffer.writeBE32(4, start + length - 1);
    buffer.writeBE32(8, 0);
    executeOut(CCDB(kChecksumRange), buffer);
    executeIn(CCDB(kChecksumRead), buffer);
    return buffer.readBE32(8);
}

int CScanner::processorInfo(int index, std::string& name, std::string& version) {
    return queryProcessor(index, name, version) == ProcessorAnswer::Named ? 1 : 0;
}

CScanner::ProcessorAnswer CScanner::queryProcessor(int index, std::string& name,
                                                   std::string& version) {
    constexpr std::uint8_t kIllegalRequest = 5;
    std::uint8_t reply[kProcessorReplyLength] = {};
    try {
        CCDB cdb(kProcessorInformation);
        cdb.setBE16(4, static_cast<std::uint16_t>(index));
        executeIn(cdb, reply, sizeof reply);
    } catch (const CCmdError& error) {
        return error.senseKey() == kIllegalRequest ? ProcessorAnswer::NotPresent
                                                   : ProcessorAnswer::Failed;
    }
    unsigned sum = 0;
    for (std::uint8_t byte : reply)
        sum += byte;
    if (sum == 0)
        return ProcessorAnswer::Failed;
    name = textUpToZero(reply, 16);
    version = textUpToZero(reply + 16, 8);
    return ProcessorAnswer::Named;
}

int CScanner::processorVersion(int index) {
    std::string name, version;
    if (processorInfo(index, name, version) == 0)
        return 0;
    int value = 0;
    for (char c : version) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}
