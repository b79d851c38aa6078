#pragma once

#include "device/cdb.h"
#include "device/msg_buffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// The transport a scanner is reached through. A transport finds a device whose
// identifier is one of the acceptable ones, keeps that identifier as its
// device name, and carries command blocks with their data to it.
//
// Every execute operation returns a non-negative value on success, which no
// caller needs, and throws CCmdError on any failure; none reports failure by
// its result.
//
// The operations are declared in this order on purpose (it is the order of
// the table every transport fills in). An implementation that overrides the
// memory forms of executeIn/executeOut hides the buffer forms; it brings them
// back with `using CCommandObject::executeIn; using CCommandObject::executeOut;`.
class CCommandObject {
public:
    virtual ~CCommandObject();

    // The n-th acceptable device identifier, or an empty string past the end.
    virtual std::string identifier(std::size_t n) const = 0;

    // Searches the devices for one with an acceptable identifier and opens it;
    // false when nothing matched.
    virtual bool open() = 0;
    virtual void close() = 0;

    // Reads as many bytes as the buffer holds.
    virtual int executeIn(const CCDB& cdb, CMsgBuffer& buffer);
    virtual int executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length) = 0;
    // Sends the whole buffer.
    virtual int executeOut(const CCDB& cdb, const CMsgBuffer& buffer);
    virtual int executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length) = 0;
    // A command without data.
    virtual int execute(const CCDB& cdb) = 0;

    // Makes the transport look for devices afresh.
    virtual void reset() = 0;

    // Whether the device re-enumerates when it restarts, so that waiting for
    // its arrival makes sense. Only a transport that can ask the device says so.
    virtual bool linkFlag() const { return false; }

    // The identifier that matched when the device was opened; empty before.
    const std::string& deviceName() const { return deviceName_; }

protected:
    CCommandObject() = default;
    CCommandObject(const CCommandObject&) = delete;
    CCommandObject& operator=(const CCommandObject&) = delete;

    void setDeviceName(std::string name) { deviceName_ = std::move(name); }

private:
    std::string deviceName_;
};
