#include "sim/scanner_core.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "sim/command_kind.h"
#include "sim/command_trace.h"
#include "sim/erase_geometry.h"
#include "sim/profile_defaults.h"
#include "sim/scanner_state.h"
#include "sim/srecord_io.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace sim {

namespace {

// Fills in what a profile built by hand may leave out, so that the firmware
// never has to ask whether a value is there. Processor 0 takes its flash from
// the scanner's own keys.
ScannerProfile completed(ScannerProfile p) {
    if (p.flash.empty())
        p.flash = StandardEraseBlocks(p.product);
    if (p.downloadProduct.empty())
        p.downloadProduct = p.product;
    if (p.downloadRevision.empty())
        p.downloadRevision = p.revision;
    if (p.upgradedRevision.empty())
        p.upgradedRevision = p.revision;
    if (p.downloadCode.empty())
        p.downloadCode = kDefaultDownloadCode;
    if (p.processors.empty()) {
        ProcessorProfile main;
        main.name = kMainControllerName;
        main.version = p.revision;
        p.processors.push_back(main);
    }
    for (std::size_t i = 0; i < p.processors.size(); ++i) {
        ProcessorProfile& unit = p.processors[i];
        unit.index = static_cast<unsigned>(i);
        if (i == 0) {
            unit.flash = p.flash;
            unit.corruptReadAt = p.corruptReadAt;
            unit.initialContent = p.initialContent;
            unit.flashDump = p.flashDump;
        } else if (unit.flash.empty()) {
            unit.flash = DefaultProcessorBlocks(unit.access);
        }
    }
    return p;
}

void writeFile(const std::string& fileName, const std::string& content) {
    if (!platform::ReplaceFileContents(fileName, content))
        throw std::runtime_error(fileName + ": cannot be written");
}

} // namespace

ScannerCore::ScannerCore(ScannerProfile profile)
    : profile_(completed(std::move(profile))), faults_(profile_), trace_(profile_.trace),
      linkValue_(profile_.linkValue), revision_(profile_.revision) {
    for (const ProcessorProfile& p : profile_.processors)
        units_.emplace_back(p);
    loadState();
    if (!profile_.stateFile.empty())
        keepJournal();
}

void ScannerCore::keepJournal() {
    journal_ = std::make_unique<FlashJournal>(profile_.stateFile + ".journal");
    std::vector<FlashMemory*> flashes;
    for (ProcessorUnit& unit : units_)
        flashes.push_back(&unit.flash());
    // A journal left behind: the program that had the scanner ended without
    // writing its state, so the scanner lost its power in the middle of
    // whatever it was doing. New main firmware that was being written is not
    // trusted by the boot code.
    const std::vector<bool> changed = journal_->replay(flashes);
    if (!changed.empty() && changed.front())
        revision_ = profile_.bootRevision;
    for (unsigned i = 0; i < units_.size(); ++i)
        units_[i].flash().setObserver(
            [this, i](std::uint32_t a, std::uint32_t b, const std::uint8_t* data) {
                if (data != nullptr)
                    journal_->programmed(i, a, data, b);
                else
                    journal_->erased(i, a, b);
            });
}

void ScannerCore::loadState() {
    if (profile_.stateFile.empty())
        return;
    const auto bytes = platform::ReadWholeFile(profile_.stateFile);
    if (!bytes)
        return; // the first run: the profile's content stands
    ScannerState state;
    try {
        state = ParseScannerState(std::string(bytes->begin(), bytes->end()));
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(profile_.stateFile + ": " + e.what());
    }
    if (!state.revision.empty())
        revision_ = state.revision;
    for (const auto& [processor, version] : state.versions)
        if (processor < units_.size())
            units_[processor].setVersion(version);
    // Entries of processors the profile no longer has are dropped.
    for (const auto& [processor, runs] : state.flashes) {
        if (processor >= units_.size())
            continue;
        FlashMemory& flash = units_[processor].flash();
        flash.eraseAll();
        for (const DataRun& run : runs) {
            if (!flash.covers(run.address, run.bytes.size()))
                throw std::runtime_error(
                    profile_.stateFile + ": data at address " + std::to_string(run.address) +
                    " lies outside the flash of processor " + std::to_string(processor));
            flash.store(run.address, run.bytes.data(), run.bytes.size());
        }
    }
}

bool ScannerCore::present() const {
    std::lock_guard lock(mutex_);
    return onBus(platform::GetTickCount64());
}

unsigned ScannerCore::appearance() const {
    std::lock_guard lock(mutex_);
    return presence_.appearance(platform::GetTickCount64());
}

std::string ScannerCore::kindOf(const Request& r) const {
    const ProcessorUnit* owner = frameOwner(r);
    return CommandKindOf(r.cdb, r.cdbLength, owner ? owner->profile().subCommandBase : 0x01);
}

CommandOutcome ScannerCore::execute(const Request& request) {
    CommandOutcome outcome;
    std::optional<std::uint64_t> arrivalAt;
    std::function<void(std::uint64_t)> hook;
    {
        std::lock_guard lock(mutex_);
        const std::string kind = kindOf(request);
        Effects fx{platform::GetTickCount64(), std::nullopt};
        if (!onBus(fx.now)) {
            outcome.answered = false;
        } else if (faults_.hanging()) {
            outcome.hangs = true;
        } else {
            used_ = true;
            // Sense waits for the REQUEST SENSE that fetches it, and for
            // nothing else.
            if (kind != "requestsense")
                pendingSense_.reset();
            Reply reply;
            if (const FaultRule* rule = faults_.count(kind)) {
                reply = Fail({rule->senseKey, rule->asc, rule->ascq});
                diagnostic_ = rule->diagnostic;
            } else {
                reply = dispatch(request, fx);
            }
            if (reply.failure) {
                outcome.good = false;
                outcome.sense = FixedSense(*reply.failure);
                pendingSense_ = reply.failure;
            }
            outcome.transferred = reply.transferred;
            arrivalAt = fx.arrivalAt;
            if (arrivalAt)
                hook = arrivalHook_;
        }
        if (trace_.enabled())
            trace_.append(TraceLine(kind, request.cdb, request.cdbLength, request.direction,
                                    request.length, outcome));
    }
    if (arrivalAt && hook)
        hook(*arrivalAt);
    return outcome;
}

Reply ScannerCore::dispatch(const Request& r, Effects& fx) {
    if (r.cdb == nullptr || r.cdbLength == 0)
        return Fail(kInvalidOpcode);
    const std::uint8_t opcode = r.cdb[0];
    static constexpr std::uint8_t kKnown[] = {0x00, 0x03, 0x12, 0x1C, 0xD9, 0xFF, 0xFE,
                                              0xFD, 0x2A, 0x28, 0x2C, 0x2D, 0x2E};
    if (std::find(std::begin(kKnown), std::end(kKnown), opcode) == std::end(kKnown))
        return Fail(kInvalidOpcode);
    // Groups 0 and 6 are six-byte blocks here, the others ten.
    const std::size_t minimum = opcode < 0x20 || (opcode >= 0xC0 && opcode < 0xE0) ? 6 : 10;
    if (r.cdbLength < minimum)
        return Fail(kInvalidField);
    switch (opcode) {
    case 0x00:
        return Good();
    case 0x03:
        return requestSense(r);
    case 0x12:
        return inquiry(r);
    case 0x1C:
        return diagnosticResults(r);
    case 0xD9:
        return selectProcessor(r);
    case 0xFF:
        return vendorCommand(r, fx);
    case 0xFE:
        if (r.at(2) == 0x65)
            return prepareUpdateMode(r, fx);
        [[fallthrough]];
    case 0xFD:
        if (r.at(2) == 0x80 && r.at(3) == 0x21)
            return processorFrame(r);
        return Fail(kInvalidField);
    case 0x2A:
        if (r.at(2) == 0x84)
            return downloadCode(r);
        return processorFrame(r);
    case 0x28:
        return processorFrame(r);
    case 0x2C:
        return eraseBlock(r);
    case 0x2D:
        return memoryWrite(r);
    case 0x2E:
        return memoryRead(r);
    default:
        return Fail(kInvalidOpcode);
    }
}

void ScannerCore::leave(Effects& fx) {
    checksumRange_.reset();
    selected_ = 0;
    for (ProcessorUnit& unit : units_)
        unit.reset();
    if (profile_.neverReturns) {
        presence_.leaveForGood();
        return;
    }
    fx.arrivalAt = presence_.leave(fx.now, profile_.leaveTime);
}

std::array<std::uint8_t, 18> ScannerCore::pendingSense() const {
    std::lock_guard lock(mutex_);
    return FixedSense(pendingSense_.value_or(Sense{}));
}

std::uint32_t ScannerCore::linkValue() const {
    std::lock_guard lock(mutex_);
    return linkValue_;
}

void ScannerCore::setLinkValue(std::uint32_t value) {
    std::lock_guard lock(mutex_);
    linkValue_ = value;
}

void ScannerCore::setArrivalHook(std::function<void(std::uint64_t)> hook) {
    std::lock_guard lock(mutex_);
    arrivalHook_ = std::move(hook);
}

void ScannerCore::persist() const {
    std::lock_guard lock(mutex_);
    if (!profile_.stateFile.empty() && (used_ || !platform::FileExists(profile_.stateFile))) {
        ScannerState state;
        state.revision = revision_;
        for (const ProcessorUnit& unit : units_) {
            state.versions[unit.profile().index] = unit.versionAfterRestart();
            state.flashes[unit.profile().index] = unit.flash().runs();
        }
        // New firmware that was never restarted into: the next run meets the
        // scanner after the restart its user was asked for.
        if (flashWritten_ && bootsNewFirmware()) {
            if (!profile_.upgradedRevision.empty())
                state.revision = profile_.upgradedRevision;
            const ProcessorProfile& main = units_.front().profile();
            if (!main.upgradedVersion.empty())
                state.versions[main.index] = main.upgradedVersion;
        } else if (flashWritten_) {
            // Cut short: the boot loader is all the scanner runs next time.
            state.revision = profile_.bootRevision;
        }
        writeFile(profile_.stateFile, FormatScannerState(state));
        if (journal_)
            journal_->discard();
    }
    for (const ProcessorUnit& unit : units_) {
        const std::string& dump = unit.profile().flashDump;
        if (dump.empty() || (!used_ && platform::FileExists(dump)))
            continue;
        const std::string header =
            unit.profile().index == 0 ? profile_.product : unit.profile().name;
        writeFile(dump, WriteSRecords(header, unit.flash().runs()));
    }
}

std::uint8_t ScannerCore::flashByte(unsigned processor, std::uint32_t address) const {
    std::lock_guard lock(mutex_);
    return units_.at(processor).flash().read(address);
}

std::string ScannerCore::reportedRevision() const {
    std::lock_guard lock(mutex_);
    return downloadMode_ ? profile_.downloadRevision : revision_;
}

std::string ScannerCore::reportedVersion(unsigned processor) const {
    std::lock_guard lock(mutex_);
    return units_.at(processor).version();
}

bool ScannerCore::inDownloadMode() const {
    std::lock_guard lock(mutex_);
    return downloadMode_;
}

} // namespace sim
