#include "sim/scanner_profile.h"

#include "platform/files.h"
#include "platform/ini_text.h"
#include "sim/command_kind.h"
#include "sim/erase_geometry.h"
#include "sim/profile_defaults.h"
#include "sim/profile_values.h"

#include <filesystem>
#include <stdexcept>

namespace sim {

namespace {

// Stands for "no such key": a value can never hold it.
const std::string kAbsent = "\x01";
constexpr std::size_t kValueBuffer = 4096;

class SectionReader {
public:
    SectionReader(const std::string& file, std::string section)
        : file_(file), section_(std::move(section)) {}

    // Nothing when the key is missing or has an empty value.
    std::optional<std::string> get(const std::string& key) const {
        std::string value =
            platform::ini_text::GetString(section_, key, kAbsent, kValueBuffer, file_);
        if (value == kAbsent || value.empty())
            return std::nullopt;
        return value;
    }

    [[noreturn]] void fail(const std::string& key, const std::string& what) const {
        throw std::runtime_error(file_ + ": [" + section_ + "] " + key + ": " + what);
    }

    std::string text(const std::string& key, const std::string& fallback) const {
        return get(key).value_or(fallback);
    }

    std::string required(const std::string& key) const {
        auto value = get(key);
        if (!value)
            fail(key, "missing");
        return *value;
    }

    // Runs a value parser, turning its complaint into an error naming the key.
    template <typename Parse>
    auto parsed(const std::string& key, Parse parse) const -> std::optional<decltype(parse(""))> {
        auto value = get(key);
        if (!value)
            return std::nullopt;
        try {
            return parse(*value);
        } catch (const std::invalid_argument& e) {
            fail(key, e.what());
        }
    }

    std::optional<std::uint64_t> number(const std::string& key,
                                        std::uint64_t max = 0xFFFFFFFFu) const {
        return parsed(key, [max](const std::string& v) { return ParseProfileNumber(v, max); });
    }

    bool flag(const std::string& key, bool fallback) const {
        return parsed(key, [](const std::string& v) { return ParseProfileBool(v); })
            .value_or(fallback);
    }

    std::optional<std::vector<EraseBlock>> blocks(const std::string& key) const {
        return parsed(key, [](const std::string& v) { return ParseEraseBlocks(v); });
    }

    std::string withLength(const std::string& key, const std::string& fallback, std::size_t min,
                           std::size_t max) const {
        std::string value = text(key, fallback);
        if (value.size() < min || value.size() > max)
            fail(key, "\"" + value + "\" must be " +
                          (min == max ? std::to_string(min)
                                      : std::to_string(min) + " to " + std::to_string(max)) +
                          " characters");
        return value;
    }

private:
    const std::string& file_;
    std::string section_;
};

bool isAbsolute(const std::string& path) {
    return !path.empty() &&
           (path[0] == '/' || path[0] == '\\' || (path.size() >= 2 && path[1] == ':'));
}

// Relative paths are taken from the profile's own directory.
std::string resolve(const std::string& profileDir, const std::string& path) {
    if (path.empty() || isAbsolute(path) || profileDir.empty())
        return path;
    return profileDir + "/" + path;
}

std::string initialContent(const SectionReader& reader, const std::string& profileDir) {
    const std::string value = reader.text("InitialContent", "marker");
    const std::string lower = LowerCase(value);
    if (lower == "marker" || lower == "erased")
        return lower;
    return resolve(profileDir, value);
}

std::optional<std::uint32_t> address(const SectionReader& reader, const std::string& key) {
    if (auto n = reader.number(key))
        return static_cast<std::uint32_t>(*n);
    return std::nullopt;
}

// Versions are reported as text; any text that fits the 8-byte field will
// do, so that a profile can also give a version the host must cope with.
void checkVersion(const SectionReader& reader, const std::string& key, const std::string& text) {
    if (text.size() > 8)
        reader.fail(key, "\"" + text + "\" is longer than 8 characters");
}

ProcessorProfile mainController(const std::string& file, const ScannerProfile& scanner) {
    SectionReader reader(file, "Processor0");
    ProcessorProfile p;
    p.index = 0;
    p.name = reader.withLength("Name", kMainControllerName, 1, 16);
    p.version = reader.withLength("Version", scanner.revision, 1, 8);
    p.upgradedVersion = reader.withLength("UpgradedVersion", scanner.upgradedRevision, 0, 8);
    p.zeroReply = reader.flag("ZeroReply", false);
    p.flash = scanner.flash;
    p.corruptReadAt = scanner.corruptReadAt;
    p.initialContent = scanner.initialContent;
    p.flashDump = scanner.flashDump;
    return p;
}

ProcessorProfile subProcessor(const std::string& file, unsigned index,
                              const std::string& profileDir) {
    SectionReader reader(file, "Processor" + std::to_string(index));
    ProcessorProfile p;
    p.index = index;
    p.name = reader.withLength("Name", "", 1, 16);
    p.version = reader.text("Version", "0");
    checkVersion(reader, "Version", p.version);
    p.upgradedVersion = reader.text("UpgradedVersion", "");
    checkVersion(reader, "UpgradedVersion", p.upgradedVersion);
    p.zeroReply = reader.flag("ZeroReply", false);
    const std::string access = LowerCase(reader.text("Access", "Vendor"));
    if (access == "vendor")
        p.access = ProcessorProfile::Access::Vendor;
    else if (access == "send")
        p.access = ProcessorProfile::Access::Send;
    else
        reader.fail("Access", "\"" + reader.text("Access", "") + "\" is not Vendor or Send");
    p.subCommandBase = static_cast<std::uint8_t>(reader.number("SubCommandBase", 0xFC).value_or(1));
    if (p.access == ProcessorProfile::Access::Send) {
        const auto type = reader.number("DataType", 0xFF);
        if (!type)
            reader.fail("DataType", "missing (Access=Send needs a data type)");
        if (*type == 0x84)
            reader.fail("DataType", "0x84 is the download code's data type");
        p.dataType = static_cast<std::uint8_t>(*type);
    }
    p.flash = reader.blocks("EraseBlocks").value_or(DefaultProcessorBlocks(p.access));
    p.initialContent = initialContent(reader, profileDir);
    p.corruptReadAt = address(reader, "CorruptReadAt");
    p.flashDump = resolve(profileDir, reader.text("FlashDump", ""));
    return p;
}

FaultRule faultRule(const std::string& file, unsigned index) {
    SectionReader reader(file, "Fault" + std::to_string(index));
    FaultRule rule;
    rule.command = LowerCase(reader.required("Command"));
    if (rule.command != "any" && !IsCommandKind(rule.command))
        reader.fail("Command", "\"" + rule.command + "\" is not a command kind or \"any\"");
    rule.nth = static_cast<unsigned>(reader.number("Nth").value_or(1));
    if (rule.nth == 0)
        reader.fail("Nth", "counts from 1");
    rule.count = static_cast<unsigned>(reader.number("Count").value_or(1));
    const std::string sense = reader.required("Sense");
    try {
        const auto first = sense.find('/');
        const auto second = first == std::string::npos ? first : sense.find('/', first + 1);
        if (second == std::string::npos)
            throw std::invalid_argument("\"" + sense + "\" is not key/asc/ascq");
        rule.senseKey = static_cast<std::uint8_t>(ParseProfileHex(sense.substr(0, first), 0x0F));
        rule.asc = static_cast<std::uint8_t>(
            ParseProfileHex(sense.substr(first + 1, second - first - 1), 0xFF));
        rule.ascq = static_cast<std::uint8_t>(ParseProfileHex(sense.substr(second + 1), 0xFF));
    } catch (const std::invalid_argument& e) {
        reader.fail("Sense", e.what());
    }
    rule.diagnostic = static_cast<std::uint32_t>(
        reader.parsed("Diagnostic", [](const std::string& v) { return ParseProfileHex(v); })
            .value_or(0));
    return rule;
}

} // namespace

ScannerProfile LoadScannerProfile(const std::string& path) {
    if (!platform::ReadWholeFile(path))
        throw std::runtime_error(path + ": cannot read the scanner profile");
    const std::string dir = std::filesystem::path(path).parent_path().string();
    SectionReader reader(path, "Scanner");
    ScannerProfile p;
    p.sourceFile = path;

    p.vendor = reader.withLength("Vendor", "KORVA", 1, 8);
    p.product = reader.withLength("Product", "", 1, 16);
    p.revision = reader.withLength("Revision", "", 4, 4);

    const std::string transport = LowerCase(reader.text("Transport", "STI"));
    if (transport == "sti")
        p.transport = Transport::Sti;
    else if (transport == "aspi")
        p.transport = Transport::Aspi;
    else
        reader.fail("Transport", "\"" + reader.text("Transport", "") + "\" is not STI or ASPI");

    p.bus = LowerCase(reader.text("Bus", p.transport == Transport::Sti ? "USB" : "SCSI"));
    if (p.bus != "usb" && p.bus != "scsi")
        reader.fail("Bus", "\"" + reader.text("Bus", "") + "\" is not USB or SCSI");
    p.bus = p.bus == "usb" ? "USB" : "SCSI";
    p.localName = reader.text("LocalName", "KORVA " + p.product + " " + p.bus);

    p.adapter = static_cast<int>(reader.number("Adapter", 6).value_or(0));
    p.target = static_cast<int>(reader.number("Target", 6).value_or(0));

    const bool usbSti = p.transport == Transport::Sti && p.bus == "USB";
    p.linkValue = static_cast<std::uint32_t>(reader.number("LinkValue").value_or(usbSti ? 1 : 0));
    // Models whose download mode is a different USB device re-enumerate when they
    // switch to it; the others stay on the bus.
    bool reenumerates = false;
    for (const char* model : {"SX-4700C", "SX-2700", "SX-3600", "ZEPA", "SX-3400C", "XR2",
                              "SX-3300C", "XR", "SX-1400C", "SX-1300C", "OLK", "RX-680", "TAVRIN"})
        reenumerates = reenumerates || StartsWithNoCase(p.product, model);
    p.leavesOnUpdateMode = reader.flag("LeavesOnUpdateMode", p.linkValue == 1 && reenumerates);
    p.leaveTime = static_cast<unsigned>(reader.number("LeaveTime").value_or(2000));
    p.commandTime = static_cast<unsigned>(reader.number("CommandTime").value_or(0));
    p.vendorPage = reader.flag("VendorPage", true);
    p.legacy = reader.flag("Legacy", StartsWithNoCase(p.product, "ZEPA") || !p.vendorPage);

    p.downloadCode = reader.text("DownloadCode", kDefaultDownloadCode);
    if (p.downloadCode != "*" && p.downloadCode.size() != 32)
        reader.fail("DownloadCode",
                    "\"" + p.downloadCode + "\" is neither \"*\" nor 32 characters");
    p.downloadProduct = reader.withLength("DownloadProduct", p.product, 1, 16);
    p.downloadRevision = reader.withLength("DownloadRevision", p.revision, 4, 4);
    p.upgradedRevision = reader.withLength("UpgradedRevision", p.revision, 4, 4);
    p.bootRevision = reader.withLength("BootRevision", "B000", 4, 4);

    p.flash = reader.blocks("EraseBlocks").value_or(StandardEraseBlocks(p.product));
    if (auto area = reader.get("FirmwareArea")) {
        const auto dash = area->find('-');
        try {
            if (dash == std::string::npos)
                throw std::invalid_argument("\"" + *area + "\" is not start-end");
            p.firmwareStart = static_cast<std::uint32_t>(ParseProfileNumber(area->substr(0, dash)));
            p.firmwareEnd = static_cast<std::uint32_t>(ParseProfileNumber(area->substr(dash + 1)));
        } catch (const std::invalid_argument& e) {
            reader.fail("FirmwareArea", e.what());
        }
        if (p.firmwareEnd < p.firmwareStart)
            reader.fail("FirmwareArea", "\"" + *area + "\" ends before it starts");
    }
    p.initialContent = initialContent(reader, dir);
    p.corruptReadAt = address(reader, "CorruptReadAt");

    if (auto n = reader.number("UnplugAfter"))
        p.unplugAfter = static_cast<unsigned>(*n);
    if (auto n = reader.number("HangAfter"))
        p.hangAfter = static_cast<unsigned>(*n);
    p.neverReturns = reader.flag("NeverReturn", false);

    p.trace = resolve(dir, reader.text("Trace", ""));
    p.flashDump = resolve(dir, reader.text("FlashDump", ""));
    p.stateFile = resolve(dir, reader.text("State", ""));

    p.processors.push_back(mainController(path, p));
    unsigned missing = 0; // the first processor number without a section
    for (unsigned i = 1; i <= 7; ++i) {
        const bool exists =
            SectionReader(path, "Processor" + std::to_string(i)).get("Name").has_value();
        if (!exists) {
            missing = missing ? missing : i;
            continue;
        }
        if (missing)
            throw std::runtime_error(path + ": [Processor" + std::to_string(i) +
                                     "] Name: there is no [Processor" + std::to_string(missing) +
                                     "] before it");
        p.processors.push_back(subProcessor(path, i, dir));
    }

    for (unsigned i = 1; i <= 9; ++i)
        if (SectionReader(path, "Fault" + std::to_string(i)).get("Command"))
            p.faults.push_back(faultRule(path, i));
    return p;
}

} // namespace sim
