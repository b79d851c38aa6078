#pragma once

#include "platform/aspi.h"
#include "sim/virtual_scanner.h"

#include <memory>
#include <vector>

// The virtual SCSI bus behind the ASPI layer: its host adapters carry the
// virtual scanners that are attached through ASPI, each at its adapter and
// target id. A position without a scanner (or whose scanner is off the bus)
// answers as an empty SCSI position does: a selection time-out.
namespace sim {

class AspiBus final : public platform::AspiBackend {
public:
    explicit AspiBus(std::vector<std::shared_ptr<VirtualScanner>> scanners);

    // One more than the highest adapter id any scanner uses; at least 1.
    int adapterCount() const override;
    void describeAdapter(int adapter, platform::SRB_HAInquiry& block) override;
    bool execute(int adapter, platform::SRB_ExecSCSICmd& block, platform::BYTE* data) override;
    void rescan(int adapter) override;

private:
    std::shared_ptr<VirtualScanner> scannerAt(int adapter, int target, int lun) const;

    std::vector<std::shared_ptr<VirtualScanner>> scanners_;
};

} // namespace sim
