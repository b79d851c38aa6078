#pragma once

#include "sim/flash_memory.h"
#include "sim/read_back.h"
#include "sim/scanner_profile.h"
#include "sim/sense_data.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// One processor of the scanner: its version, its flash and, for the
// processors behind the main controller, the programming session its
// sub-commands run (start, set address, data..., finish).
namespace sim {

class ProcessorUnit {
public:
    // The largest data frame a processor programs at once.
    static constexpr std::size_t kMaxDataFrame = 112;

    enum class Step { Start, Finish, Address, Data };

    // Throws std::runtime_error when the initial content cannot be loaded.
    explicit ProcessorUnit(ProcessorProfile profile);

    const ProcessorProfile& profile() const { return profile_; }
    FlashMemory& flash() { return flash_; }
    const FlashMemory& flash() const { return flash_; }

    const std::string& version() const { return version_; }
    void setVersion(std::string version) { version_ = std::move(version); }
    // The version becomes the upgraded one, when the profile names one.
    void upgrade();
    // The version the processor reports once the scanner has restarted: a
    // session that wrote data and was never finished boots the new firmware
    // too, when every byte it wrote was read back afterwards (a session cut
    // short while writing keeps the old version, whatever it was sent).
    std::string versionAfterRestart() const;

    // Reads as the processor answers a read: the CorruptReadAt byte inverted.
    void readInto(std::uint32_t address, std::uint8_t* out, std::size_t length) const;

    // Name (16 bytes) and version (8 bytes), zero padded; all zeros for a
    // processor whose reply is broken.
    std::array<std::uint8_t, 24> information() const;

    // The step a sub-command stands for, when it is one of this processor's.
    std::optional<Step> stepOf(std::uint8_t subCommand) const;

    // Session steps; a sense when the step fails.
    std::optional<Sense> start();
    std::optional<Sense> finish();
    // 10 bytes: BE32 address and six zero bytes.
    std::optional<Sense> setAddress(const std::uint8_t* parameter);
    std::optional<Sense> writeData(const std::uint8_t* data, std::size_t length);
    std::optional<Sense> readData(std::uint8_t* out, std::size_t length);

    // Forgets any open session (the scanner restarted or left the bus); a
    // session that wrote data takes effect.
    void reset();

private:
    std::optional<Sense> checkDataRange(std::size_t length) const;

    ProcessorProfile profile_;
    FlashMemory flash_;
    std::string version_;
    bool inSession_ = false;
    bool writtenInSession_ = false;
    ReadBack readBack_; // what the session wrote and has not read back
    std::uint32_t address_ = 0;
};

} // namespace sim
