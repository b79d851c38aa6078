#pragma once

#include "device/command_object.h"
#include "device/library.h"
#include "platform/aspi.h"

#include <atomic>
#include <cstdint>

// The transport over ASPI for Win32, which reaches SCSI scanners on SCSI host
// adapters. Opening scans every adapter id 0..6 and target id 0..6 with TEST
// UNIT READY and INQUIRY and stays on the first device whose INQUIRY vendor
// and product fields match an acceptable "ASPI\" identifier; commands then go
// to that position in an ASPI request block, one at a time.
//
// A request whose completion is not signalled within kCompletionTimeout (a
// hung bus or adapter) fails with CCmdError instead of waiting for ever; its
// request block is kept alive, since the layer may still write it.
class CScsi : public CCommandObject {
public:
    static constexpr platform::DWORD kCompletionTimeout = 120000;

    CScsi() = default;
    ~CScsi() override;

    bool open() override;
    void close() override;
    using CCommandObject::executeIn;
    using CCommandObject::executeOut;
    int executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length) override;
    int executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length) override;
    int execute(const CCDB& cdb) override;
    // Rescans every host adapter's bus.
    void reset() override;

    int adapter() const { return adapter_; }
    int target() const { return target_; }
    int adapterCount() const { return adapterCount_; }
    bool loaded() const { return library_.handle() != nullptr; }

private:
    using SendCommand = platform::DWORD (*)(void*);
    using SupportInfo = platform::DWORD (*)();

    bool load();
    // Matches the INQUIRY data of the current position against the identifiers.
    bool matches(const std::uint8_t* inquiry, std::size_t length);
    int run(const CCDB& cdb, std::uint8_t flags, std::uint8_t* buffer, std::size_t length);
    void lock();
    void unlock() { busy_.store(0, std::memory_order_release); }

    std::atomic<std::uint32_t> busy_{0};
    CLibrary library_;
    int adapterCount_ = 0;
    int target_ = -1;
    int adapter_ = -1;
    SendCommand sendCommand_ = nullptr;
    SupportInfo supportInfo_ = nullptr;
    platform::FARPROC getBuffer_ = nullptr;
    platform::FARPROC freeBuffer_ = nullptr;
    platform::FARPROC translateAddress_ = nullptr;
};
