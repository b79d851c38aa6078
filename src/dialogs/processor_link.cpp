#include "dialogs/processor_link.h"

#include "device/cdb.h"
#include "device/scanner.h"

#include <stdexcept>

namespace {

CCDB frame(const std::array<std::uint8_t, 10>& pattern, std::uint8_t subCommand,
           std::size_t length) {
    if (length > 0xFFFF)
        throw std::out_of_range("processor frame too long");
    CCDB cdb(pattern);
    cdb.setByte(4, subCommand);
    cdb.setBE16(7, static_cast<std::uint16_t>(length));
    return cdb;
}

} // namespace

void CProcessorLink::start() {
    if (row_.sendsCommands)
        scanner_.execute(frame(row_.writeTemplate, row_.startCommand, 0));
}

void CProcessorLink::finish() {
    if (row_.sendsCommands)
        scanner_.execute(frame(row_.writeTemplate, row_.finishCommand, 0));
}

void CProcessorLink::setAddress(std::uint32_t address) {
    if (!row_.sendsCommands)
        return;
    std::uint8_t parameter[10] = {
        static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
        static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    scanner_.executeOut(frame(row_.writeTemplate, row_.addressCommand, sizeof parameter), parameter,
                        sizeof parameter);
}

void CProcessorLink::writeData(const std::uint8_t* data, std::size_t length) {
    if (row_.sendsCommands)
        scanner_.executeOut(frame(row_.writeTemplate, row_.dataCommand, length), data, length);
}

void CProcessorLink::readData(std::uint8_t* data, std::size_t length) {
    if (row_.sendsCommands)
        scanner_.executeIn(frame(row_.readTemplate, row_.dataCommand, length), data, length);
}
