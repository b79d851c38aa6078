#pragma once

#include "device/msg_buffer.h"
#include "device/srb_layout.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// The exception of a failed device command, thrown by value and caught by
// reference. Its buffer is either empty (an error made from a text) or exactly
// the 80-byte request block of the failed command, whose sense area holds
// fixed-format sense data. Every sense accessor reports zero, and every test
// is false, unless the buffer is exactly 80 bytes.
//
// It is also a message, so that an error can be passed between threads.
class CCmdError : public CMsgBuffer, public std::exception {
public:
    // The request block of the failed command as the transport left it.
    explicit CCmdError(const SRB_ExecSCSICmd& block);
    // An error with no device data.
    explicit CCmdError(std::string message);
    // A request block of zeros with status "error" and the first `count`
    // sense bytes (16 at most) in its sense area.
    CCmdError(const std::uint8_t* sense, std::size_t count);

    int type() const override { return kCmdError; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool hasRequestBlock() const { return size() == srb::kSize; }

    std::uint8_t status() const { return byteAt(srb::kStatus); }
    std::uint8_t senseKey() const { return byteAt(srb::kSense + 2) & 0x0F; }
    std::uint8_t asc() const { return byteAt(srb::kSense + 12); }
    std::uint8_t ascq() const { return byteAt(srb::kSense + 13); }
    // ASC * 256 + ASCQ.
    std::uint16_t senseCode() const { return static_cast<std::uint16_t>(asc() << 8 | ascq()); }

    bool is(int key, int senseAsc, int senseAscq) const;
    bool is(int key, int code) const;

    const std::string& message() const { return message_; }
    void setMessage(std::string message) { message_ = std::move(message); }
    // Filled in by error translation (the scanner's diagnostic query).
    const std::string& detail() const { return detail_; }
    void setDetail(std::string detail) { detail_ = std::move(detail); }

private:
    std::uint8_t byteAt(std::size_t offset) const {
        return hasRequestBlock() ? (*this)[offset] : 0;
    }

    std::string message_;
    std::string detail_;
};
