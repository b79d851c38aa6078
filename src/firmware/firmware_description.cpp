#include "firmware/firmware_description.h"

#include "device/cmd_error.h"
#include "device/scanner.h"
#include "platform/system_info.h"
#include "settings/settings_file.h"

#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <optional>

namespace {

// "NewFirmwareVersion" and "UnionMot" are read through a 32-byte buffer.
constexpr std::size_t kShortValueLength = 31;

constexpr const char* kVeSubFirmware = "VE Sub Firmware";
constexpr const char* kSubFirmware = "Sub Firmware";

// How a model family versions its sections.
enum class ModelGroup {
    kDorian, // numeric versions, installed version by ".VersionIndex"
    kYew,    // textual versions, installed version by ".VersionIndex"
    kOther,  // numeric versions, installed version by section number
};

bool anyProduct(const CScanner& scanner, std::initializer_list<const char*> models) {
    for (const char* model : models)
        if (scanner.productIs(model))
            return true;
    return false;
}

ModelGroup groupOf(const CScanner& scanner) {
    if (anyProduct(scanner, {"SX-105", "M-105", "Do-RIAN", "SX-T25", "M-T25", "TORVO", "SX-T25II",
                             "M-T25II", "TORVOII"}))
        return ModelGroup::kDorian;
    if (anyProduct(scanner, {"SX-T18", "M-T18", "YEW", "SX-T11", "M-T11", "YEWS", "SX-T18II",
                             "M-T18II", "YEWII"}))
        return ModelGroup::kYew;
    return ModelGroup::kOther;
}

bool startsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The leading decimal number of a version text, 0 when there is none.
double number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// Byte-wise ordinal comparison (bytes taken unsigned): negative, zero or
// positive.
int compareText(const std::string& a, const std::string& b) {
    return a.compare(b);
}

std::int32_t verdict(bool write) {
    return write ? FirmwareSection::kToBeWritten : FirmwareSection::kUpToDate;
}

// A value of "NewFirmwareVersion" or "UnionMot" and the file it came from.
struct ShortValue {
    std::string text;
    std::string file;
};

// The executable's file first; the current directory's file (its whole path in
// upper case) only when the first has no value.
std::optional<ShortValue> readShortValue(const std::string& key) {
    const std::string currentDirFile =
        upper(platform::GetCurrentDirectoryA() + "\\" + platform::ApplicationName() + ".INI");
    for (const std::string& file : {ExecutableSettingsFile(), currentDirFile}) {
        std::string text = ReadNamedString(key, "", file).substr(0, kShortValueLength);
        if (!text.empty())
            return ShortValue{text, file};
    }
    return std::nullopt;
}

// Section 0 has no number in its key names, the others their decimal index.
std::string numbered(const char* key, std::size_t n) {
    return n == 0 ? std::string(key) : key + std::to_string(n);
}

// Name, version, start and size of section n; false when the name or the
// version is missing or the size is 0, which ends the table.
bool readSectionKeys(std::size_t n, FirmwareSection& section) {
    const std::string prefix = numbered("Section", n);
    section.name = ReadSettingString(prefix + ".Name", "");
    section.version = ReadSettingString(prefix + ".Version", "");
    section.start = ReadSettingHex(prefix + ".Start", 0);
    section.size = static_cast<std::int32_t>(ReadSettingHex(prefix + ".Size", 0));
    return !section.name.empty() && !section.version.empty() && section.size != 0;
}

void store(FirmwareSection& entry, const FirmwareSection& read) {
    entry.name = read.name;
    entry.version = read.version;
    entry.start = read.start;
    entry.size = read.size;
}

// Examines a section by comparing the offered version with the one the
// scanner reports for it.
class VersionCheck {
public:
    VersionCheck(CScanner& scanner, FirmwareSections& description, bool loaderMode)
        : scanner_(scanner), description_(description), group_(groupOf(scanner)),
          loaderMode_(loaderMode) {}

    // False when the scanner cannot tell the installed version, which ends the
    // table.
    bool examine(std::size_t n, const std::string& offered) {
        FirmwareSection read;
        if (!readSectionKeys(n, read))
            return false;
        const std::int32_t versionIndex =
            ReadSettingInt(numbered("Section", n) + ".VersionIndex", 0);
        FirmwareSection& entry = description_.sections[n];
        store(entry, read);

        const int index = group_ == ModelGroup::kOther ? static_cast<int>(n) : versionIndex;
        std::string processor, installed;
        if (scanner_.processorInfo(index, processor, installed) == 0)
            return false;
        if (!loaderMode_ && processor.empty())
            return false;

        bool byComparison = false;
        switch (group_) {
        case ModelGroup::kDorian:
            byComparison = dorian(entry, offered, processor, installed);
            break;
        case ModelGroup::kYew:
            byComparison = yew(entry, offered, processor, installed);
            break;
        case ModelGroup::kOther:
            other(entry, offered, installed);
            break;
        }
        // Section 0 out of date by its version (only the first two model
        // groups report that): the whole area is prepared again.
        if (n == 0 && byComparison && entry.state == FirmwareSection::kToBeWritten)
            description_.prepareBeforeWriting = 1;
        return true;
    }

private:
    // Each returns true when the state came out of the version comparison as
    // "to be written".
    bool dorian(FirmwareSection& entry, const std::string& offered, const std::string& processor,
                const std::string& installed) const {
        const double have = number(installed);
        const double want = number(offered);
        if (loaderMode_) {
            // Only the sub firmware of the generation installed (100 and up:
            // VE) is written; anything else named is written in any case.
            if (entry.name == kVeSubFirmware) {
                if (have >= 100)
                    entry.state = FirmwareSection::kToBeWritten;
            } else if (entry.name == kSubFirmware) {
                if (have < 100)
                    entry.state = FirmwareSection::kToBeWritten;
            } else {
                entry.state = FirmwareSection::kToBeWritten;
            }
            return false;
        }
        const bool write = description_.force ? have != want : have < want;
        entry.state = verdict(write);
        if (entry.name == kVeSubFirmware) {
            if (startsWith(processor, "MCONLOAD") && have >= 100)
                entry.state = FirmwareSection::kToBeWritten;
            else if (have < 100)
                entry.state = FirmwareSection::kUpToDate;
        }
        return write;
    }

    bool yew(FirmwareSection& entry, const std::string& offered, const std::string& processor,
             const std::string& installed) const {
        if (loaderMode_) {
            entry.state = FirmwareSection::kToBeWritten;
            return false;
        }
        const int order = compareText(offered, installed);
        const bool write = description_.force ? order != 0 : order > 0;
        entry.state = verdict(write);
        if ((entry.name == kVeSubFirmware || entry.name == kSubFirmware) &&
            startsWith(processor, "MCONLOAD"))
            entry.state = FirmwareSection::kToBeWritten;
        return write;
    }

    void other(FirmwareSection& entry, const std::string& offered,
               const std::string& installed) const {
        if (loaderMode_) {
            entry.state = FirmwareSection::kToBeWritten;
            return;
        }
        const double have = number(installed);
        const double want = number(offered);
        entry.state = verdict(description_.force ? have != want : want > have);
    }

    CScanner& scanner_;
    FirmwareSections& description_;
    const ModelGroup group_;
    const bool loaderMode_;
};

// Examines section n by the checksum of its flash range; false when its keys
// end the table.
bool examineByChecksum(CScanner& scanner, FirmwareSection& entry, std::size_t n,
                       const std::string& key, bool loaderMode) {
    FirmwareSection read;
    if (!readSectionKeys(n, read))
        return false;
    store(entry, read);
    if (loaderMode) {
        // In loader mode everything described is written.
        entry.state = FirmwareSection::kToBeWritten;
        return true;
    }
    const std::uint32_t expected = ReadSettingHex(key, 0);
    try {
        const std::uint32_t sum =
            scanner.checksum(entry.start, static_cast<std::uint32_t>(entry.size));
        entry.state = verdict(sum != expected);
    } catch (const CCmdError&) {
        // A scanner that cannot sum the range gets the section written anew.
        entry.state = FirmwareSection::kToBeWritten;
    }
    return true;
}

int simpleForm(const CScanner& scanner, const FirmwareSections& description) {
    const std::string& current = scanner.versionString;
    // A version beginning with "B" is always replaced.
    if (scanner.legacyDevice || current.empty() || current[0] == 'B')
        return 1;
    const int order = compareText(current, OfferedVersion(scanner));
    return (description.force ? order != 0 : order < 0) ? 1 : 0;
}

int sectionedForm(CScanner& scanner, FirmwareSections& description) {
    description.sections = {};
    description.sectionsInUse = 1;
    description.prepareBeforeWriting = 0;

    // A scanner that only runs its loader reports "LOAD" as main processor.
    std::string processor, version;
    const bool loaderMode =
        scanner.processorInfo(0, processor, version) != 0 && processor == "LOAD";

    VersionCheck versions(scanner, description, loaderMode);
    for (std::size_t n = 0; n < FirmwareSections::kSectionCount; ++n) {
        const std::string offered = n == 0
                                        ? OfferedVersion(scanner)
                                        : ReadSettingString(numbered("NewFirmwareVersion", n), "");
        if (!offered.empty() && !versions.examine(n, offered))
            break;
        const std::string checksumKey = numbered("CheckSum", n);
        if (!ReadSettingString(checksumKey, "").empty() &&
            !examineByChecksum(scanner, description.sections[n], n, checksumKey, loaderMode))
            break;
    }

    for (const FirmwareSection& section : description.sections)
        if (section.state == FirmwareSection::kToBeWritten)
            return 1;
    return 0;
}

} // namespace

std::string OfferedVersion(const CScanner& scanner) {
    // An SX-1400C, SX-1300C or OLK on a 1.x version is offered nothing.
    if (anyProduct(scanner, {"SX-1400C", "SX-1300C", "OLK"}) &&
        startsWith(scanner.versionString, "1."))
        return "";
    const std::optional<ShortValue> value = readShortValue("NewFirmwareVersion");
    return value ? value->text : "";
}

bool SectionedForm() {
    const std::optional<ShortValue> value = readShortValue("UnionMot");
    return value && ReadNamedBool("UnionMot", false, value->file) == 1;
}

int NeedsUpgrade(CScanner& scanner, FirmwareSections& description) {
    if (!SectionedForm())
        return simpleForm(scanner, description);
    return sectionedForm(scanner, description);
}
