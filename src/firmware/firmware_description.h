#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CScanner;

// The firmware description: what the settings file offers for the main
// controller, and how it compares with what the attached scanner carries.
//
// Two forms exist. The simple one compares the scanner's version text with
// "NewFirmwareVersion". The sectioned one ("UnionMot=True") describes up to ten
// independently versioned parts of the flash ("Section", "Section1" ...
// "Section9"), each examined by its version, by a checksum of its flash range,
// or by both, and marks the parts that have to be written.

// One part of the flash as the sectioned form describes it.
struct FirmwareSection {
    static constexpr std::int32_t kNotExamined = 0;
    static constexpr std::int32_t kUpToDate = 1;
    static constexpr std::int32_t kToBeWritten = 2;

    std::int32_t state = kNotExamined;
    std::string name;
    std::string version;
    std::uint32_t start = 0;
    std::int32_t size = 0;
};

// The section table with the flags kept beside it; owned by the main controller
// dialog for the length of one run.
struct FirmwareSections {
    static constexpr std::size_t kSectionCount = 10;

    std::array<FirmwareSection, kSectionCount> sections{};
    // Nonzero once the sectioned form was read.
    std::int32_t sectionsInUse = 0;
    // Whether the firmware area is prepared (erased as a whole) around writing.
    // Cleared by the sectioned form, set again when section 0 is out of date.
    std::int32_t prepareBeforeWriting = 1;
    // "force_update": every version comparison asks for a difference instead
    // of an older version.
    std::int32_t force = 0;
};

// "NewFirmwareVersion", at most 31 characters, from the executable's settings
// file or, when that has no value, from the current directory's. Empty when
// neither has one, and without reading for an SX-1400C, SX-1300C or OLK whose
// version begins with "1.".
std::string OfferedVersion(const CScanner& scanner);

// True when "UnionMot" has a value and that file reads it as true.
bool SectionedForm();

// 1 when anything has to be written, 0 when the scanner is up to date. In the
// sectioned form fills the section table and its flags first.
int NeedsUpgrade(CScanner& scanner, FirmwareSections& description);
