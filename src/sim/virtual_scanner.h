#pragma once

#include "sim/scanner_profile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// A scanner seen from its own side: it takes command blocks with their data
// and answers them as its firmware would, with fixed-format sense data on every
// failure. The transports' bindings (sti_service, aspi_bus) carry commands to
// it; it knows nothing of them. Safe to call from several threads.
namespace sim {

enum class DataDirection { None, In, Out };

struct CommandOutcome {
    // False: no device answered (the scanner is off the bus, or gone for good);
    // nothing else below is meaningful.
    bool answered = true;
    // ASPI only: the request never completes.
    bool hangs = false;
    bool good = true; // GOOD status; otherwise CHECK CONDITION with `sense`
    std::array<std::uint8_t, 18> sense{};
    // Bytes of data moved (data-in: filled into the caller's buffer).
    std::size_t transferred = 0;
};

class ScannerCore;

class VirtualScanner {
public:
    explicit VirtualScanner(ScannerProfile profile);
    ~VirtualScanner();
    VirtualScanner(const VirtualScanner&) = delete;
    VirtualScanner& operator=(const VirtualScanner&) = delete;

    const ScannerProfile& profile() const;

    // On the bus now (platform clock).
    bool present() const;
    // Counts the scanner's appearances on the bus; a handle opened in an
    // earlier appearance no longer reaches it.
    unsigned appearance() const;

    // Runs one command block. `data` holds `length` bytes: the data sent, or
    // room for the data to receive.
    CommandOutcome execute(const std::uint8_t* cdb, std::size_t cdbLength, DataDirection direction,
                           std::uint8_t* data, std::size_t length);

    // The sense a REQUEST SENSE would return now, without clearing it.
    std::array<std::uint8_t, 18> pendingSense() const;

    // The STI driver's link value (escape 2 reads it, escape 3 sets it).
    std::uint32_t linkValue() const;
    void setLinkValue(std::uint32_t value);

    // Called, outside the scanner's lock, with the tick at which the scanner
    // will be back on the bus each time it leaves (never when it will not
    // come back).
    void setArrivalHook(std::function<void(std::uint64_t tick)> hook);

    // Writes the state file and the flash dumps the profile names.
    void persist() const;

    // Direct views for tests.
    std::uint8_t flashByte(unsigned processor, std::uint32_t address) const;
    std::string reportedRevision() const;
    std::string reportedVersion(unsigned processor) const;
    bool inDownloadMode() const;

private:
    std::unique_ptr<ScannerCore> core_;
};

// "tur", "inquiry", "memwrite", ...: the kind of a command block, as fault
// rules and the command trace name it.
std::string CommandKindName(const std::uint8_t* cdb, std::size_t cdbLength);

} // namespace sim
