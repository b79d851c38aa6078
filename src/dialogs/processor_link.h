#pragma once

#include "dialogs/processor_row.h"

#include <cstddef>
#include <cstdint>

class CScanner;

// The frames of one processor behind the main controller, sent through the
// scanner: each is the row's write or read template with the sub-command in
// byte 4 and the transfer length in bytes 7-8. A row that sends no commands
// makes every operation succeed without touching the device. Failures leave
// as CCmdError.
class CProcessorLink {
public:
    // The most data one frame carries.
    static constexpr std::size_t kMaxData = 112;

    CProcessorLink(CScanner& scanner, const ProcessorRow& row) : scanner_(scanner), row_(row) {}

    void start();
    void finish();
    // The 32-bit address big-endian, then six bytes of 0.
    void setAddress(std::uint32_t address);
    // At most kMaxData bytes each.
    void writeData(const std::uint8_t* data, std::size_t length);
    void readData(std::uint8_t* data, std::size_t length);

    bool sendsCommands() const { return row_.sendsCommands; }

private:
    CScanner& scanner_;
    const ProcessorRow& row_;
};
