#include "sim/processor_unit.h"

#include "platform/files.h"
#include "sim/srecord_io.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {

void loadInitialContent(FlashMemory& flash, const ProcessorProfile& profile) {
    const std::string& source = profile.initialContent;
    if (source == "erased")
        return;
    if (source.empty() || source == "marker") {
        flash.fillMarkers();
        return;
    }
    const auto bytes = platform::ReadWholeFile(source);
    if (!bytes)
        throw std::runtime_error(source + ": cannot read the initial flash content of processor " +
                                 std::to_string(profile.index));
    std::vector<DataRun> runs;
    try {
        runs = ReadSRecords(std::string(bytes->begin(), bytes->end()));
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(source + ": " + e.what());
    }
    for (const DataRun& run : runs) {
        if (!flash.covers(run.address, run.bytes.size()))
            throw std::runtime_error(source + ": data at address " + std::to_string(run.address) +
                                     " lies outside the flash of processor " +
                                     std::to_string(profile.index));
        flash.store(run.address, run.bytes.data(), run.bytes.size());
    }
}

} // namespace

ProcessorUnit::ProcessorUnit(ProcessorProfile profile)
    : profile_(std::move(profile)), flash_(profile_.flash), version_(profile_.version) {
    loadInitialContent(flash_, profile_);
}

void ProcessorUnit::upgrade() {
    if (!profile_.upgradedVersion.empty())
        version_ = profile_.upgradedVersion;
}

void ProcessorUnit::readInto(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
    flash_.read(address, out, length);
    if (profile_.corruptReadAt) {
        const std::uint64_t offset = std::uint64_t{*profile_.corruptReadAt} - address;
        if (*profile_.corruptReadAt >= address && offset < length)
            out[offset] = static_cast<std::uint8_t>(~out[offset]);
    }
}

std::array<std::uint8_t, 24> ProcessorUnit::information() const {
    std::array<std::uint8_t, 24> reply{};
    if (profile_.zeroReply)
        return reply;
    std::copy_n(profile_.name.begin(), std::min<std::size_t>(profile_.name.size(), 16),
                reply.begin());
    std::copy_n(version_.begin(), std::min<std::size_t>(version_.size(), 8), reply.begin() + 16);
    return reply;
}

std::optional<ProcessorUnit::Step> ProcessorUnit::stepOf(std::uint8_t subCommand) const {
    switch (static_cast<std::uint8_t>(subCommand - profile_.subCommandBase)) {
    case 0:
        return Step::Start;
    case 1:
        return Step::Finish;
    case 2:
        return Step::Address;
    case 3:
        return Step::Data;
    default:
        return std::nullopt;
    }
}

std::optional<Sense> ProcessorUnit::start() {
    flash_.eraseAll();
    inSession_ = true;
    writtenInSession_ = false;
    readBack_.clear();
    address_ = flash_.blocks().empty() ? 0 : flash_.blocks().front().start;
    return std::nullopt;
}

std::optional<Sense> ProcessorUnit::finish() {
    // A finish without a session changes nothing.
    if (inSession_ && writtenInSession_)
        upgrade();
    inSession_ = false;
    writtenInSession_ = false;
    return std::nullopt;
}

std::optional<Sense> ProcessorUnit::setAddress(const std::uint8_t* parameter) {
    if (!inSession_)
        return kOutOfSequence;
    if (std::any_of(parameter + 4, parameter + 10, [](std::uint8_t b) { return b != 0; }))
        return kInvalidParameter;
    const std::uint32_t address = (std::uint32_t{parameter[0]} << 24) |
                                  (std::uint32_t{parameter[1]} << 16) |
                                  (std::uint32_t{parameter[2]} << 8) | parameter[3];
    if (!flash_.blockAt(address))
        return kAddressOutOfRange;
    address_ = address;
    return std::nullopt;
}

std::optional<Sense> ProcessorUnit::checkDataRange(std::size_t length) const {
    if (!inSession_)
        return kOutOfSequence;
    if (!flash_.covers(address_, length))
        return kAddressOutOfRange;
    return std::nullopt;
}

std::optional<Sense> ProcessorUnit::writeData(const std::uint8_t* data, std::size_t length) {
    if (auto failure = checkDataRange(length))
        return failure;
    flash_.program(address_, data, length);
    readBack_.written(address_, static_cast<std::uint32_t>(length));
    address_ += static_cast<std::uint32_t>(length);
    writtenInSession_ = writtenInSession_ || length > 0;
    return std::nullopt;
}

std::optional<Sense> ProcessorUnit::readData(std::uint8_t* out, std::size_t length) {
    if (auto failure = checkDataRange(length))
        return failure;
    readInto(address_, out, length);
    readBack_.read(address_, static_cast<std::uint32_t>(length));
    address_ += static_cast<std::uint32_t>(length);
    return std::nullopt;
}

std::string ProcessorUnit::versionAfterRestart() const {
    if (inSession_ && writtenInSession_ && readBack_.complete() &&
        !profile_.upgradedVersion.empty())
        return profile_.upgradedVersion;
    return version_;
}

void ProcessorUnit::reset() {
    version_ = versionAfterRestart();
    inSession_ = false;
    writtenInSession_ = false;
}

} // namespace sim
