#pragma once

// Helpers for driving a virtual scanner with raw command blocks, as a host
// adapter would, and for writing the profiles that describe it.
#include "platform/address32.h"
#include "platform/aspi.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "sim/aspi_bus.h"
#include "sim/scanner_profile.h"
#include "sim/virtual_scanner.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace scanner_kit {

using Bytes = std::vector<std::uint8_t>;

inline const std::string kCode = "KORVATEK FIRMWARE DOWNLOAD V0001";

// One answered (or unanswered) command, with the data that came back.
struct Answer {
    sim::CommandOutcome outcome;
    Bytes data;

    bool good() const { return outcome.answered && !outcome.hangs && outcome.good; }
    // "GOOD", "5/2C/00" (key in one digit, as profiles write it), "NO DEVICE", "HANG".
    std::string status() const {
        if (!outcome.answered)
            return "NO DEVICE";
        if (outcome.hangs)
            return "HANG";
        if (outcome.good)
            return "GOOD";
        char text[16];
        std::snprintf(text, sizeof text, "%X/%02X/%02X", outcome.sense[2], outcome.sense[12],
                      outcome.sense[13]);
        return text;
    }
};

// Sends raw command blocks to one virtual scanner the way a host adapter
// does: each command goes out in an ASPI request block through the platform
// layer's SendASPI32Command, to a bus that carries just this scanner at its
// position, and the answer is read back from the block.
class Host {
public:
    explicit Host(sim::VirtualScanner& scanner)
        : scanner_(scanner),
          bus_(std::make_shared<sim::AspiBus>(std::vector<std::shared_ptr<sim::VirtualScanner>>{
              std::shared_ptr<sim::VirtualScanner>(&scanner, [](sim::VirtualScanner*) {})})) {
        platform::InstallAspiBackend(bus_);
    }
    ~Host() { platform::RemoveAspiBackend(bus_); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    Answer none(const Bytes& cdb) { return run(cdb, sim::DataDirection::None, {}); }
    Answer in(const Bytes& cdb, std::size_t length) {
        return run(cdb, sim::DataDirection::In, Bytes(length, 0xEE));
    }
    Answer out(const Bytes& cdb, const Bytes& data) {
        return run(cdb, sim::DataDirection::Out, data);
    }
    Answer out(const Bytes& cdb, const std::string& text) {
        return out(cdb, Bytes(text.begin(), text.end()));
    }

    // The download-mode SEND with the right code, then update mode.
    void enterDownloadMode() {
        ASSERT_EQ(out(downloadCodeCdb(), kCode).status(), "GOOD");
        ASSERT_EQ(none({0xFF, 0, 0x65, 0, 0, 0, 0, 0, 0, 0}).status(), "GOOD");
    }

    static Bytes downloadCodeCdb() { return {0x2A, 0, 0x84, 0, 0x00, 0x64, 0, 0, 32, 0}; }

private:
    Answer run(const Bytes& cdb, sim::DataDirection direction, Bytes data) {
        using namespace platform;
        SRB_ExecSCSICmd block{};
        block.command = SC_EXEC_SCSI_CMD;
        block.hostAdapter = static_cast<BYTE>(scanner_.profile().adapter);
        block.target = static_cast<BYTE>(scanner_.profile().target);
        block.flags = static_cast<BYTE>(
            (direction == sim::DataDirection::Out ? SRB_DIR_OUT : SRB_DIR_IN) | SRB_EVENT_NOTIFY);
        Address32 buffer(data.empty() ? nullptr : data.data());
        block.dataLength = static_cast<DWORD>(data.size());
        block.dataBuffer = buffer.value();
        block.senseLength = 16;
        block.cdbLength = static_cast<BYTE>(std::min<std::size_t>(cdb.size(), sizeof block.cdb));
        std::memcpy(block.cdb, cdb.data(), block.cdbLength);
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        block.postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));
        const DWORD sent = SendASPI32Command(&block);
        const bool completed = sent != SS_PENDING || WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        CloseHandle(event);

        Answer answer;
        answer.outcome.hangs = !completed;
        answer.outcome.answered = !completed || block.hostAdapterStatus != HASTAT_SEL_TO;
        answer.outcome.good = block.status == SS_COMP;
        std::memcpy(answer.outcome.sense.data(), block.sense, sizeof block.sense);
        answer.outcome.transferred = answer.outcome.good ? data.size() : 0;
        if (direction == sim::DataDirection::In)
            data.resize(answer.outcome.transferred);
        answer.data = std::move(data);
        return answer;
    }

    sim::VirtualScanner& scanner_;
    std::shared_ptr<sim::AspiBus> bus_;
};

inline Bytes be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

inline Bytes memoryCdb(std::uint8_t opcode, std::uint32_t address, std::uint32_t length) {
    Bytes cdb = {opcode, 0};
    for (std::uint8_t b : be32(address))
        cdb.push_back(b);
    cdb.push_back(static_cast<std::uint8_t>(length >> 16));
    cdb.push_back(static_cast<std::uint8_t>(length >> 8));
    cdb.push_back(static_cast<std::uint8_t>(length));
    cdb.push_back(0);
    return cdb;
}
inline Bytes memWrite(std::uint32_t address, std::uint32_t length) {
    return memoryCdb(0x2D, address, length);
}
inline Bytes memRead(std::uint32_t address, std::uint32_t length) {
    return memoryCdb(0x2E, address, length);
}
inline Bytes eraseBlock(std::uint32_t address) {
    return memoryCdb(0x2C, address, 0);
}
inline Bytes vendor(std::uint8_t op) {
    return {0xFF, 0, op, 0, 0, 0, 0, 0, 0, 0};
}
inline Bytes updateMode() {
    return vendor(0x65);
}
inline Bytes restart() {
    return vendor(0xC7);
}
inline Bytes eraseFirmware() {
    return vendor(0xC3);
}
inline Bytes checksumRange() {
    return {0xFF, 0, 0xB2, 0, 0, 0, 0, 0, 12, 0};
}
inline Bytes checksumRead() {
    return {0xFF, 0, 0xB3, 0, 0, 0, 0, 0, 12, 0};
}
inline Bytes processorInfo(std::uint8_t index) {
    return {0xFF, 0, 0xCF, 0, 0, index, 0, 0, 0x18, 0};
}
inline Bytes prepare(std::uint8_t variant) {
    return {0xFE, 0, 0x65, 0, 0, variant, 0, 0, 0, 0};
}
inline Bytes inquiry(std::uint8_t allocation = 36) {
    return {0x12, 0, 0, 0, allocation, 0};
}
inline Bytes vendorPage() {
    return {0x12, 1, 0xF0, 0, 30, 0};
}
inline Bytes requestSense(std::uint8_t allocation = 18) {
    return {0x03, 0, 0, 0, allocation, 0};
}
inline Bytes tur() {
    return {0, 0, 0, 0, 0, 0};
}
// FE (to the device) or FD (from it) 00 80 21 frame.
inline Bytes vendorFrame(bool toDevice, std::uint8_t sub, std::uint16_t length) {
    return {static_cast<std::uint8_t>(toDevice ? 0xFE : 0xFD),
            0,
            0x80,
            0x21,
            sub,
            0,
            0,
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length),
            0};
}
// SEND(10) (to the device) or READ(10) (from it) with a processor's data type.
inline Bytes sendFrame(bool toDevice, std::uint8_t dataType, std::uint8_t sub,
                       std::uint16_t length) {
    return {static_cast<std::uint8_t>(toDevice ? 0x2A : 0x28),
            0,
            dataType,
            0,
            sub,
            0,
            0,
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length),
            0};
}
// The parameter of a processor's set-address sub-command.
inline Bytes addressParameter(std::uint32_t address) {
    Bytes data = be32(address);
    data.resize(10, 0);
    return data;
}

inline std::string text(const Bytes& bytes, std::size_t from, std::size_t length) {
    return std::string(bytes.begin() + static_cast<long>(from),
                       bytes.begin() + static_cast<long>(from + length));
}

// A scratch directory holding a profile, and a manual clock for as long as
// the test runs.
class ScannerTest : public testing::Test {
protected:
    void SetUp() override { platform::SetManualClock(true); }
    void TearDown() override { platform::SetManualClock(false); }

    // Writes the profile; "[Scanner]" with Product and Revision comes first
    // unless the text starts with a section of its own.
    std::string writeProfile(const std::string& body, const std::string& name = "scanner.ini") {
        const std::string path = dir_.file(name);
        const std::string head = body.rfind("[", 0) == 0 ? "" : "[Scanner]\n";
        testing_support::writeFile(path, head + body);
        return path;
    }

    std::unique_ptr<sim::VirtualScanner> load(const std::string& body,
                                              const std::string& name = "scanner.ini") {
        return std::make_unique<sim::VirtualScanner>(
            sim::LoadScannerProfile(writeProfile(body, name)));
    }

    testing_support::ScratchDir dir_;
};

} // namespace scanner_kit
