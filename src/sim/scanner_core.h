#pragma once

#include "sim/bus_presence.h"
#include "sim/command_block.h"
#include "sim/command_trace.h"
#include "sim/fault_plan.h"
#include "sim/flash_journal.h"
#include "sim/processor_unit.h"
#include "sim/read_back.h"
#include "sim/virtual_scanner.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Everything behind VirtualScanner: the scanner's firmware state and its
// command set. Every public member takes the one lock; the private ones run
// under it.
namespace sim {

class ScannerCore {
public:
    // Throws std::runtime_error when initial content or the state file
    // cannot be loaded.
    explicit ScannerCore(ScannerProfile profile);

    const ScannerProfile& profile() const { return profile_; }
    bool present() const;
    unsigned appearance() const;
    CommandOutcome execute(const Request& request);
    std::array<std::uint8_t, 18> pendingSense() const;
    std::uint32_t linkValue() const;
    void setLinkValue(std::uint32_t value);
    void setArrivalHook(std::function<void(std::uint64_t)> hook);
    void persist() const;
    std::uint8_t flashByte(unsigned processor, std::uint32_t address) const;
    std::string reportedRevision() const;
    std::string reportedVersion(unsigned processor) const;
    bool inDownloadMode() const;

private:
    // What a command does besides answering.
    struct Effects {
        std::uint64_t now = 0;
        std::optional<std::uint64_t> arrivalAt; // it left and will be back then
    };

    void loadState();
    // Replays a journal left behind and records every change from now on.
    void keepJournal();
    std::string kindOf(const Request& r) const;
    Reply dispatch(const Request& r, Effects& fx);

    // Main controller commands (scanner_commands.cpp).
    Reply requestSense(const Request& r);
    Reply inquiry(const Request& r) const;
    Reply diagnosticResults(const Request& r) const;
    Reply selectProcessor(const Request& r);
    Reply vendorCommand(const Request& r, Effects& fx);
    Reply updateMode(Effects& fx);
    Reply prepareUpdateMode(const Request& r, Effects& fx);
    Reply restart(Effects& fx);
    Reply eraseFirmware();
    Reply setChecksumRange(const Request& r);
    Reply readChecksum(const Request& r) const;
    Reply processorInformation(const Request& r) const;
    Reply downloadCode(const Request& r);
    Reply eraseBlock(const Request& r);
    Reply memoryWrite(const Request& r);
    Reply memoryRead(const Request& r) const;

    // Processor frames (processor_frames.cpp).
    const ProcessorUnit* frameOwner(const Request& r) const;
    Reply processorFrame(const Request& r);

    bool writesAllowed() const { return downloadMode_ || profile_.legacy; }
    bool onBus(std::uint64_t now) const { return presence_.present(now) && !faults_.unplugged(); }
    // Drops off the bus, for LeaveTime or for good; forgets what a power
    // cycle forgets, except the mode it comes back in.
    void leave(Effects& fx);
    ProcessorUnit& mainUnit() { return units_.front(); }
    const ProcessorUnit& mainUnit() const { return units_.front(); }

    mutable std::mutex mutex_;
    ScannerProfile profile_;
    std::vector<ProcessorUnit> units_; // index 0: the main controller
    FaultPlan faults_;
    CommandTrace trace_;
    Presence presence_;
    std::function<void(std::uint64_t)> arrivalHook_;

    std::optional<Sense> pendingSense_;
    std::uint32_t diagnostic_ = 0;
    std::uint32_t linkValue_ = 0;
    std::string revision_;
    bool armed_ = false; // the download code was accepted
    bool downloadMode_ = false;
    bool flashWritten_ = false; // main flash changed since the last restart
    // A command reached the scanner in this process: only then may it write
    // back its state, which another process may be changing meanwhile.
    bool used_ = false;
    // What of the flash written since the last restart was read back, and
    // whether anything was written at all.
    mutable ReadBack readBack_;
    // Flash changes not yet in the state file (scanners with a state file).
    std::unique_ptr<FlashJournal> journal_;
    bool programmed_ = false;
    // The firmware the scanner boots after this download session: the new
    // one when everything written was read back, else its boot loader.
    bool bootsNewFirmware() const { return programmed_ && readBack_.complete(); }
    unsigned selected_ = 0;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> checksumRange_;
};

} // namespace sim
