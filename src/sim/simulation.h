#pragma once

#include "sim/virtual_scanner.h"

#include <memory>
#include <string>
#include <vector>

// A set of virtual scanners attached to the device layer: the ones with an STI
// transport to the Still Image service, the ones with an ASPI transport to a
// virtual SCSI bus. While a simulation is installed "sti.dll" and "WNASPI32"
// load and reach these scanners; a scanner that comes back on the bus after
// leaving it announces its arrival to the image device class.
namespace sim {

class AspiBus;

class Simulation {
public:
    // The scanners of REFIRM_SIMULATE (profile files separated by ':'), with
    // REFIRM_BUS_TRACE naming the bus trace; null when REFIRM_SIMULATE is
    // unset or empty. Throws std::runtime_error for a profile that cannot be
    // read.
    static std::unique_ptr<Simulation> FromEnvironment();

    explicit Simulation(const std::vector<std::string>& profilePaths);
    // Uninstalls and persists.
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    void install();
    void uninstall();
    // Writes every scanner's state file and flash dumps.
    void persist() const;

    const std::vector<std::shared_ptr<VirtualScanner>>& scanners() const { return scanners_; }

private:
    std::vector<std::shared_ptr<VirtualScanner>> scanners_;
    std::vector<std::shared_ptr<VirtualScanner>> stiScanners_;
    std::shared_ptr<AspiBus> aspiBus_;
    bool installed_ = false;
};

} // namespace sim
