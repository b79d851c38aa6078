#pragma once

#include "device/command_object.h"
#include "device/library.h"
#include "device/sti_passthrough.h"

#include <cstdint>

class StiProxy;
class StiDevice;

// The transport over the Still Image service, which reaches USB scanners (and
// SCSI scanners that have a still-image driver). Opening finds the device whose
// local name an acceptable "STI\" identifier names, creates it, locks it and
// reads its link value; commands then travel in the device's pass-through
// escape. Every Still Image call is made by the process's one worker thread
// (StiProxy).
class CSTIIF : public CCommandObject, private CLibrary {
public:
    static constexpr platform::DWORD kLockTimeout = 60000;

    CSTIIF() = default;
    ~CSTIIF() override;

    bool open() override;
    void close() override;
    using CCommandObject::executeIn;
    using CCommandObject::executeOut;
    int executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length) override;
    int executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length) override;
    int execute(const CCDB& cdb) override;
    // Closes and opens again.
    void reset() override;
    bool linkFlag() const override { return linkFlag_; }

    // ensureStillImage() and open(); true only when both succeed.
    virtual bool reconnect();
    // Takes a reference to the shared proxy when this transport holds none.
    virtual bool ensureStillImage();
    virtual void releaseStillImage();

    bool isOpen() const { return device_ != nullptr; }

private:
    bool findAndCreate();
    bool queryLink();
    // Escape 1 with the layout of this process; 0 on success, E_FAIL after a
    // failed command (its REQUEST SENSE data is then in the sense area).
    platform::HRESULT passThrough(const CCDB& cdb, sti::Direction direction, std::uint8_t* buffer,
                                  std::size_t length);
    platform::HRESULT escapeOnce(const CCDB& cdb, sti::Direction direction, std::uint8_t* buffer,
                                 std::size_t length, std::uint8_t* status);
    int run(const CCDB& cdb, sti::Direction direction, std::uint8_t* buffer, std::size_t length);

    StiProxy* stillImage_ = nullptr;
    StiDevice* device_ = nullptr;
    bool locked_ = false;
    bool linkFlag_ = false;
};

// Whether the process runs under WOW64, asked of "kernel32" at run time as the
// transport does: false when the call is not there.
bool ProcessIsWow64();
