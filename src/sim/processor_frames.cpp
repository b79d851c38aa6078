// Frames for the processors behind the main controller. Access=Vendor
// processors take FE (to the device) and FD (from it) 00 80 21 frames,
// Access=Send processors SEND(10)/READ(10) with their data type; byte 4 is the
// sub-command, bytes 7-8 the transfer length. A processor claims the frames
// whose sub-command falls in its four (start, finish, address, data); when
// several could, the selected processor wins, else the lowest numbered.
#include "sim/scanner_core.h"

#include <vector>

namespace sim {

const ProcessorUnit* ScannerCore::frameOwner(const Request& r) const {
    if (r.cdbLength < 5)
        return nullptr;
    const std::uint8_t opcode = r.at(0);
    const bool vendorFrame =
        (opcode == 0xFE || opcode == 0xFD) && r.at(2) == 0x80 && r.at(3) == 0x21;
    const bool sendFrame = (opcode == 0x2A && r.at(2) != 0x84) || opcode == 0x28;
    if (!vendorFrame && !sendFrame)
        return nullptr;
    const ProcessorUnit* owner = nullptr;
    for (std::size_t i = 1; i < units_.size(); ++i) {
        const ProcessorUnit& unit = units_[i];
        const ProcessorProfile& p = unit.profile();
        bool claims = false;
        if (vendorFrame)
            claims = p.access == ProcessorProfile::Access::Vendor && unit.stepOf(r.at(4));
        else if (p.access == ProcessorProfile::Access::Send && p.dataType == r.at(2))
            claims = opcode == 0x28 || unit.stepOf(r.at(4)).has_value();
        if (!claims)
            continue;
        if (i == selected_)
            return &unit;
        if (!owner)
            owner = &unit;
    }
    return owner;
}

Reply ScannerCore::processorFrame(const Request& r) {
    auto* unit = const_cast<ProcessorUnit*>(frameOwner(r));
    if (!unit)
        return Fail(kInvalidField);
    const std::uint8_t opcode = r.at(0);
    const bool toDevice = opcode == 0xFE || opcode == 0x2A;
    const auto step = opcode == 0x28 ? ProcessorUnit::Step::Data : *unit->stepOf(r.at(4));
    const std::size_t length = r.be16(7);
    switch (step) {
    case ProcessorUnit::Step::Start:
        if (length != 0 || !r.carriesNothing())
            return Fail(kInvalidField);
        return FromStep(unit->start());
    case ProcessorUnit::Step::Finish:
        if (length != 0 || !r.carriesNothing())
            return Fail(kInvalidField);
        return FromStep(unit->finish());
    case ProcessorUnit::Step::Address:
        if (!toDevice || length != 10 || !r.carries(10))
            return Fail(kInvalidField);
        return FromStep(unit->setAddress(r.data));
    case ProcessorUnit::Step::Data:
        break;
    }
    if (toDevice) {
        if (length > ProcessorUnit::kMaxDataFrame || !r.carries(length))
            return Fail(kInvalidField);
        return FromStep(unit->writeData(r.data, length));
    }
    std::vector<std::uint8_t> data(length);
    if (auto failure = unit->readData(data.data(), length))
        return Fail(*failure);
    return Good(r.give(data.data(), data.size()));
}

} // namespace sim
