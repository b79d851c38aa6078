#include "sim/virtual_scanner.h"

#include "platform/clock.h"

#include "sim/scanner_core.h"

namespace sim {

VirtualScanner::VirtualScanner(ScannerProfile profile)
    : core_(std::make_unique<ScannerCore>(std::move(profile))) {}

VirtualScanner::~VirtualScanner() = default;

const ScannerProfile& VirtualScanner::profile() const {
    return core_->profile();
}

bool VirtualScanner::present() const {
    return core_->present();
}

unsigned VirtualScanner::appearance() const {
    return core_->appearance();
}

CommandOutcome VirtualScanner::execute(const std::uint8_t* cdb, std::size_t cdbLength,
                                       DataDirection direction, std::uint8_t* data,
                                       std::size_t length) {
    // A real scanner takes its time over every command; a rehearsal may show it.
    if (core_->profile().commandTime != 0)
        platform::Sleep(core_->profile().commandTime);
    return core_->execute(Request{cdb, cdbLength, direction, data, length});
}

std::array<std::uint8_t, 18> VirtualScanner::pendingSense() const {
    return core_->pendingSense();
}

std::uint32_t VirtualScanner::linkValue() const {
    return core_->linkValue();
}

void VirtualScanner::setLinkValue(std::uint32_t value) {
    core_->setLinkValue(value);
}

void VirtualScanner::setArrivalHook(std::function<void(std::uint64_t tick)> hook) {
    core_->setArrivalHook(std::move(hook));
}

void VirtualScanner::persist() const {
    core_->persist();
}

std::uint8_t VirtualScanner::flashByte(unsigned processor, std::uint32_t address) const {
    return core_->flashByte(processor, address);
}

std::string VirtualScanner::reportedRevision() const {
    return core_->reportedRevision();
}

std::string VirtualScanner::reportedVersion(unsigned processor) const {
    return core_->reportedVersion(processor);
}

bool VirtualScanner::inDownloadMode() const {
    return core_->inDownloadMode();
}

} // namespace sim
