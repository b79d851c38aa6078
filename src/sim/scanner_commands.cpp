// The main controller's own commands: identification, sense, download mode,
// restart, flash erase/program/read and checksums.
#include "sim/scanner_core.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr std::size_t kMaxMemoryTransfer = 1024;

// Copies text into a space-padded field.
void padded(std::uint8_t* field, std::size_t width, const std::string& text) {
    std::memset(field, ' ', width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

} // namespace

Reply ScannerCore::requestSense(const Request& r) {
    const auto data = FixedSense(pendingSense_.value_or(Sense{}));
    pendingSense_.reset();
    return Good(r.give(data.data(), std::min<std::size_t>(r.at(4), data.size())));
}

Reply ScannerCore::inquiry(const Request& r) const {
    const std::string product = downloadMode_ ? profile_.downloadProduct : profile_.product;
    const std::string revision = downloadMode_ ? profile_.downloadRevision : revision_;
    const std::size_t allocation = r.at(4);
    if (r.at(1) == 0x00 && r.at(2) == 0x00) {
        std::uint8_t data[36] = {};
        data[0] = 0x06; // scanner
        data[2] = 0x02;
        data[3] = 0x02;
        data[4] = 31;
        padded(data + 8, 8, profile_.vendor);
        padded(data + 16, 16, product);
        padded(data + 32, 4, revision);
        return Good(r.give(data, std::min(allocation, sizeof data)));
    }
    if (r.at(1) == 0x01 && r.at(2) == 0xF0 && profile_.vendorPage) {
        // Our page: product, revision, the mode and how many processors
        // there are.
        std::uint8_t data[30] = {};
        data[0] = 0x06;
        data[1] = 0xF0;
        data[3] = 26;
        padded(data + 4, 16, product);
        padded(data + 20, 4, revision);
        data[24] = downloadMode_ ? 1 : 0;
        data[25] = static_cast<std::uint8_t>(units_.size());
        return Good(r.give(data, std::min(allocation, sizeof data)));
    }
    return Fail(kInvalidField);
}

Reply ScannerCore::diagnosticResults(const Request& r) const {
    std::uint8_t data[8] = {0, 0, 0, 4};
    WriteBE32(data + 4, diagnostic_);
    return Good(r.give(data, sizeof data));
}

Reply ScannerCore::selectProcessor(const Request& r) {
    if (r.at(4) >= units_.size())
        return Fail(kInvalidField);
    selected_ = r.at(4);
    return Good();
}

Reply ScannerCore::vendorCommand(const Request& r, Effects& fx) {
    switch (r.at(2)) {
    case 0x65:
        return updateMode(fx);
    case 0xC7:
        return restart(fx);
    case 0xC3:
        return eraseFirmware();
    case 0xB2:
        return setChecksumRange(r);
    case 0xB3:
        return readChecksum(r);
    case 0xCF:
        return processorInformation(r);
    default:
        return Fail(kInvalidField);
    }
}

Reply ScannerCore::downloadCode(const Request& r) {
    if (r.be16(4) != 0x0064 || r.be24(6) != 32 || !r.carries(32))
        return Fail(kInvalidField);
    const std::string code(reinterpret_cast<const char*>(r.data), 32);
    if (profile_.downloadCode != "*" && code != profile_.downloadCode)
        return Fail(kInvalidParameter);
    armed_ = true;
    return Good();
}

Reply ScannerCore::updateMode(Effects& fx) {
    if (!armed_)
        return Fail(kOutOfSequence);
    downloadMode_ = true;
    if (profile_.leavesOnUpdateMode || profile_.neverReturns)
        leave(fx);
    return Good();
}

Reply ScannerCore::prepareUpdateMode(const Request& r, Effects& fx) {
    if (r.at(5) > 1)
        return Fail(kInvalidField);
    if (!armed_)
        return Fail(kOutOfSequence);
    downloadMode_ = true;
    leave(fx);
    return Good();
}

Reply ScannerCore::restart(Effects& fx) {
    // New firmware in the flash: the boot code reports what it now runs.
    if (flashWritten_ && bootsNewFirmware()) {
        if (!profile_.upgradedRevision.empty())
            revision_ = profile_.upgradedRevision;
        mainUnit().upgrade();
    } else if (flashWritten_) {
        revision_ = profile_.bootRevision;
    }
    downloadMode_ = false;
    armed_ = false;
    flashWritten_ = false;
    programmed_ = false;
    readBack_.clear();
    leave(fx);
    return Good();
}

Reply ScannerCore::eraseFirmware() {
    if (!writesAllowed())
        return Fail(kOutOfSequence);
    mainUnit().flash().eraseBlocksTouching(profile_.firmwareStart, profile_.firmwareEnd);
    flashWritten_ = true;
    return Good();
}

Reply ScannerCore::setChecksumRange(const Request& r) {
    if (!r.carries(12))
        return Fail(kInvalidField);
    const std::uint32_t first = ReadBE32(r.data);
    const std::uint32_t last = ReadBE32(r.data + 4);
    if (last < first)
        return Fail(kInvalidParameter);
    checksumRange_ = {first, last};
    return Good();
}

Reply ScannerCore::readChecksum(const Request& r) const {
    if (!checksumRange_)
        return Fail(kOutOfSequence);
    const auto [first, last] = *checksumRange_;
    std::uint8_t data[12];
    WriteBE32(data, first);
    WriteBE32(data + 4, last);
    WriteBE32(data + 8, mainUnit().flash().checksum(first, last));
    return Good(r.give(data, sizeof data));
}

Reply ScannerCore::processorInformation(const Request& r) const {
    const unsigned index = r.be16(4);
    if (index >= units_.size())
        return Fail(kInvalidField);
    const auto data = units_[index].information();
    return Good(r.give(data.data(), data.size()));
}

Reply ScannerCore::eraseBlock(const Request& r) {
    if (!writesAllowed())
        return Fail(kOutOfSequence);
    if (!mainUnit().flash().eraseBlockAt(r.be32(2)))
        return Fail(kAddressOutOfRange);
    flashWritten_ = true;
    return Good();
}

Reply ScannerCore::memoryWrite(const Request& r) {
    const std::uint32_t address = r.be32(2);
    const std::uint32_t length = r.be24(6);
    if (length > kMaxMemoryTransfer || !r.carries(length))
        return Fail(kInvalidField);
    if (!writesAllowed())
        return Fail(kOutOfSequence);
    if (!mainUnit().flash().covers(address, length))
        return Fail(kAddressOutOfRange);
    mainUnit().flash().program(address, r.data, length);
    flashWritten_ = true;
    programmed_ = true;
    readBack_.written(address, length);
    return Good();
}

Reply ScannerCore::memoryRead(const Request& r) const {
    const std::uint32_t address = r.be32(2);
    const std::uint32_t length = r.be24(6);
    if (length > kMaxMemoryTransfer)
        return Fail(kInvalidField);
    if (!mainUnit().flash().covers(address, length))
        return Fail(kAddressOutOfRange);
    std::vector<std::uint8_t> data(length);
    mainUnit().readInto(address, data.data(), length);
    readBack_.read(address, length);
    return Good(r.give(data.data(), data.size()));
}

} // namespace sim
