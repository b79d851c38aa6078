// INI files: the private-profile reader and writer, the settings readers on
// top of them, and the firmware description read from the settings file
// against a virtual scanner, over files of any content: junk lines, binary
// data, huge, negative and non-numeric values.
//
// Input: one byte choosing the scanner (modulo 3) and the force flag (0x10),
// the file's length (2 bytes, modulo 1024), the file, then the section, key
// and value of one write.
#include "device/scanner.h"
#include "firmware/firmware_description.h"
#include "platform/clock.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/still_image.h"
#include "platform/system_info.h"
#include "settings/settings_file.h"
#include "sim/sti_service.h"
#include "sim/virtual_scanner.h"

#include "fuzz_support.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::GetPrivateProfileIntA;
using platform::GetPrivateProfileStringA;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A name for a section or key made from input bytes: letters, digits and a
// few marks, so that it reads back as written.
std::string nameFrom(fuzz_support::Input& in) {
    static const char kChars[] = "abcXYZ019_.-";
    std::string name;
    const std::size_t length = 1 + in.u8() % 6;
    for (std::size_t i = 0; i < length; ++i)
        name += kChars[in.u8() % (sizeof kChars - 1)];
    return name;
}

// The sections and keys the file names, for the lookups to ask about.
struct Names {
    std::vector<std::string> sections{"refirm", "Scanner", ""};
    std::vector<std::string> keys{"NewFirmwareVersion", "UnionMot", "Section.Size", "x"};
};

Names namesIn(const std::string& content) {
    Names names;
    std::size_t at = 0;
    while (at < content.size() && names.keys.size() < 8) {
        std::size_t end = content.find('\n', at);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = trimmed(content.substr(at, end - at));
        at = end + 1;
        if (!line.empty() && line.front() == '[') {
            if (names.sections.size() < 4)
                names.sections.push_back(trimmed(line.substr(1, line.find(']') - 1)));
        } else if (const auto eq = line.find('='); eq != std::string::npos) {
            names.keys.push_back(trimmed(line.substr(0, eq)));
        }
    }
    return names;
}

// The value a profile line gives back: blanks trimmed, one pair of matching
// quotes taken off.
std::string asRead(const std::string& written) {
    std::string value = trimmed(written);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

void checkLookups(const std::string& file, const Names& names) {
    int cut = 0;
    for (const std::string& section : names.sections) {
        for (const std::string& key : names.keys) {
            const std::string value = GetPrivateProfileStringA(section, key, "\x01", 4096, file);
            if (value == "\x01") {
                FUZZ_CHECK(GetPrivateProfileIntA(section, key, -7, file) == -7, key);
                continue;
            }
            // Each lookup reads the whole file again; a few buffer sizes suffice.
            if (++cut <= 3) {
                const std::size_t buffer = cut == 1 ? 0 : cut == 2 ? 1 : 9;
                const std::string head = GetPrivateProfileStringA(section, key, "", buffer, file);
                FUZZ_CHECK(head == value.substr(0, buffer == 0 ? 0 : buffer - 1), key);
            }
            const std::int32_t number = GetPrivateProfileIntA(section, key, -7, file);
            FUZZ_CHECK(number == (value.empty() ? -7 : platform::ParseProfileInt(value)), key);
        }
    }
}

// A decimal text of up to nine digits after blanks and a sign reads as its
// value; longer ones wrap, as the Windows reader's do.
void checkNumber(const std::string& text) {
    const std::int32_t value = platform::ParseProfileInt(text);
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) {
        FUZZ_CHECK(value == 0, text);
        return;
    }
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+')
        ++i;
    std::uint32_t expected = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        expected = expected * 10 + static_cast<std::uint32_t>(text[i] - '0');
    FUZZ_CHECK(static_cast<std::uint32_t>(value) == (negative ? 0 - expected : expected), text);
}

// A key written into a copy of the file reads back as written, and every
// other key keeps its value; writing it again changes nothing more.
void checkWrite(const std::string& content, const Names& names, fuzz_support::Input& in) {
    const std::string copy = fuzz_support::ScratchFile("written.ini");
    fuzz_support::WriteFile(copy, content);
    const std::string section =
        in.flag() ? nameFrom(in) : names.sections[in.u8() % names.sections.size()];
    const std::string key = nameFrom(in);
    std::string value;
    for (std::size_t n = in.u8() % 12; n > 0; --n) {
        const char c = static_cast<char>(in.u8());
        if (c != '\r' && c != '\n' && c != '\0')
            value += c;
    }
    if (trimmed(section).empty() || section.find_first_of("[]") != std::string::npos)
        return;

    std::vector<std::string> before;
    for (const std::string& s : names.sections)
        for (const std::string& k : names.keys)
            before.push_back(GetPrivateProfileStringA(s, k, "\x01", 4096, copy));

    FUZZ_CHECK(platform::WritePrivateProfileStringA(section, key, value, copy), copy);
    FUZZ_CHECK(GetPrivateProfileStringA(section, key, "\x01", 4096, copy) == asRead(value),
               "[" + section + "] " + key + "=" + value);
    std::size_t n = 0;
    for (const std::string& s : names.sections) {
        for (const std::string& k : names.keys) {
            const bool same = platform::EqualsNoCase(s, section) && platform::EqualsNoCase(k, key);
            const std::string now = GetPrivateProfileStringA(s, k, "\x01", 4096, copy);
            FUZZ_CHECK(same || now == before[n], "[" + s + "] " + k + " changed to " + now);
            ++n;
        }
    }
    const auto once = platform::ReadWholeFile(copy);
    FUZZ_CHECK(platform::WritePrivateProfileStringA(section, key, value, copy), copy);
    FUZZ_CHECK(platform::ReadWholeFile(copy) == once, "a second write changed the file");
}

// The settings readers over the file as the executable's settings file.
void checkSettings(const std::string& file, const Names& names) {
    const bool cwdFileAbsent = !platform::FileExists(CurrentDirSettingsFile());
    for (const std::string& key : names.keys) {
        const std::string named = ReadNamedString(key, "default", file);
        FUZZ_CHECK(named.size() <= 127, key);
        const int flag = ReadNamedBool(key, true, file);
        FUZZ_CHECK(flag == 0 || flag == 1, key);
        ReadNamedInt(key, 5, file);
        const std::uint32_t hex = ReadSettingHex(key, 0xDEADBEEF);
        const int setting = ReadSettingBool(key);
        FUZZ_CHECK(setting == 0 || setting == 1, key);
        if (!cwdFileAbsent)
            continue;
        const std::string text = ReadSettingString(key, "?????");
        FUZZ_CHECK(text.size() <= 255, key);
        FUZZ_CHECK(ReadSettingString(key, "") ==
                       GetPrivateProfileStringA("refirm", key, "", 256, file),
                   key);
        if (text == "?????") {
            FUZZ_CHECK(hex == 0xDEADBEEF, key);
            continue;
        }
        // Up to eight hexadecimal digits, with or without 0x, read as their value.
        std::string digits = text;
        if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
            digits.erase(0, 2);
        if (!digits.empty() && digits.size() <= 8 &&
            digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
            FUZZ_CHECK(hex == std::strtoul(digits.c_str(), nullptr, 16), key + "=" + text);
        checkNumber(text);
    }
}

// Virtual scanners of the three ways of versioning sections, behind the
// Still Image service, and a scanner opened on each.
struct Scanners {
    std::vector<std::unique_ptr<CScanner>> opened;
};

sim::ScannerProfile profile(const std::string& product, const std::vector<std::string>& names) {
    sim::ScannerProfile p;
    p.product = product;
    p.revision = "1.20";
    p.localName = "KORVA " + product + " USB";
    p.linkValue = 1;
    p.initialContent = "erased";
    for (std::size_t i = 0; i < names.size(); ++i) {
        sim::ProcessorProfile unit;
        unit.name = names[i];
        unit.version = std::to_string(90 + 7 * i);
        p.processors.push_back(unit);
    }
    p.flash = {{0x10000000, 0x10000}, {0x10010000, 0x10000}};
    return p;
}

Scanners& scanners() {
    static Scanners* all = [] {
        platform::SetManualClock(true);
        fuzz_support::UseScratchTexts();
        std::vector<std::shared_ptr<sim::VirtualScanner>> virtualScanners;
        virtualScanners.push_back(std::make_shared<sim::VirtualScanner>(
            profile("SX-105", {"MCONLOAD MAIN", "VE Sub Firmware", "Sub Firmware"})));
        virtualScanners.push_back(
            std::make_shared<sim::VirtualScanner>(profile("SX-T18", {"MCONLOAD", "Sub Firmware"})));
        sim::ScannerProfile loader = profile("SX-2300C", {"LOAD", "DRIVE"});
        loader.faults.push_back({"checksumread", 2, 0, 3, 0x80, 0x01, 0});
        virtualScanners.push_back(std::make_shared<sim::VirtualScanner>(loader));
        platform::InstallStillImageProvider(
            [virtualScanners] { return sim::CreateStillImageService(virtualScanners); });
        auto* made = new Scanners;
        for (const auto& v : virtualScanners) {
            auto scanner = std::make_unique<CScanner>();
            scanner->quietErrors = 1;
            if (scanner->openWith({"STI\\" + v->profile().localName}) != 1)
                fuzz_support::Fail(__FILE__, __LINE__, "no scanner " + v->profile().product);
            made->opened.push_back(std::move(scanner));
        }
        // Closed before the statics go: an open scanner's Still Image worker
        // would keep waiting on the thread message queue being destroyed.
        std::atexit([] {
            for (auto& scanner : scanners().opened)
                scanner->close();
            scanners().opened.clear();
        });
        return made;
    }();
    return *all;
}

void checkDescription(std::uint8_t choice) {
    CScanner& scanner = *scanners().opened[choice % 3];
    FUZZ_CHECK(OfferedVersion(scanner).size() <= 31, "offered version");
    FirmwareSections description;
    description.force = (choice & 0x10) != 0 ? 1 : 0;
    const bool sectioned = SectionedForm();
    int verdict = 0;
    try {
        verdict = NeedsUpgrade(scanner, description);
    } catch (const CCmdError&) {
        return; // the scanner refused a command the settings asked for
    }
    FUZZ_CHECK(verdict == 0 || verdict == 1, std::to_string(verdict));
    FUZZ_CHECK(description.sectionsInUse == (sectioned ? 1 : 0), "sections in use");
    bool anyToWrite = false;
    for (const FirmwareSection& section : description.sections) {
        FUZZ_CHECK(section.state >= FirmwareSection::kNotExamined &&
                       section.state <= FirmwareSection::kToBeWritten,
                   std::to_string(section.state));
        anyToWrite |= section.state == FirmwareSection::kToBeWritten;
    }
    if (sectioned)
        FUZZ_CHECK(verdict == (anyToWrite ? 1 : 0), "verdict and sections disagree");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::Input in(data, size);
    const std::uint8_t choice = in.u8();
    const std::size_t fileSize = in.u16() % 1024;
    const std::vector<std::uint8_t> bytes = in.bytes(fileSize);
    const std::string content(bytes.begin(), bytes.end());

    scanners();
    const std::string file = fuzz_support::ScratchFile("refirm.ini");
    fuzz_support::WriteFile(file, content);
    const Names names = namesIn(content);

    checkLookups(file, names);
    checkSettings(file, names);
    checkDescription(choice);
    checkWrite(content, names, in);
    for (const std::string& key : names.keys)
        checkNumber(key);
    return 0;
}
