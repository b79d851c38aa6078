#include "sim/aspi_bus.h"

#include <algorithm>
#include <cstring>

namespace sim {

using namespace platform;

AspiBus::AspiBus(std::vector<std::shared_ptr<VirtualScanner>> scanners)
    : scanners_(std::move(scanners)) {}

int AspiBus::adapterCount() const {
    int count = 1;
    for (const auto& scanner : scanners_)
        count = std::max(count, scanner->profile().adapter + 1);
    return count;
}

void AspiBus::describeAdapter(int, SRB_HAInquiry& block) {
    static const char manager[] = "ASPI for WIN32";
    static const char identifier[] = "VIRTUAL SCSI";
    std::memset(block.managerId, ' ', sizeof block.managerId);
    std::memcpy(block.managerId, manager, sizeof manager - 1);
    std::memset(block.identifier, ' ', sizeof block.identifier);
    std::memcpy(block.identifier, identifier, sizeof identifier - 1);
    block.adapterScsiId = 7;
    // Unique parameters: buffer alignment 0, residual byte support off, 8 targets.
    block.unique[3] = 8;
}

std::shared_ptr<VirtualScanner> AspiBus::scannerAt(int adapter, int target, int lun) const {
    if (lun != 0)
        return nullptr;
    for (const auto& scanner : scanners_)
        if (scanner->profile().adapter == adapter && scanner->profile().target == target)
            return scanner;
    return nullptr;
}

bool AspiBus::execute(int adapter, SRB_ExecSCSICmd& block, BYTE* data) {
    auto scanner = scannerAt(adapter, block.target, block.lun);
    if (!scanner) {
        block.status = SS_ERR;
        block.hostAdapterStatus = HASTAT_SEL_TO;
        return true;
    }
    // Without data the direction bits say nothing (the ASPI convention is to
    // mark such a request "to host").
    DataDirection direction = DataDirection::None;
    if (block.dataLength == 0)
        direction = DataDirection::None;
    else if (block.flags & SRB_DIR_OUT)
        direction = DataDirection::Out;
    else if (block.flags & SRB_DIR_IN)
        direction = DataDirection::In;
    const std::size_t length = data != nullptr ? block.dataLength : 0;
    const std::size_t cdbLength = std::min<std::size_t>(block.cdbLength, sizeof block.cdb);
    const CommandOutcome outcome = scanner->execute(block.cdb, cdbLength, direction, data, length);
    if (outcome.hangs)
        return false;
    if (!outcome.answered) {
        block.status = SS_ERR;
        block.hostAdapterStatus = HASTAT_SEL_TO;
        return true;
    }
    if (outcome.good) {
        block.status = SS_COMP;
        block.targetStatus = SCSI_STATUS_GOOD;
        return true;
    }
    block.status = SS_ERR;
    block.targetStatus = SCSI_STATUS_CHECK_CONDITION;
    const std::size_t senseLength =
        std::min<std::size_t>({block.senseLength, sizeof block.sense, outcome.sense.size()});
    std::memcpy(block.sense, outcome.sense.data(), senseLength);
    return true;
}

void AspiBus::rescan(int) {
    // Scanners appear and leave on their own; there is nothing to look for.
}

} // namespace sim
