#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The scanner families Refirm serves: the family code given on the command line,
// the device identifiers the device search tries for it, how it is upgraded, and
// the names the firmware dialogs show for the family words scanners report.

// One value per family code; None when a code names no family. The values are
// ours to choose and only need to stay distinct.
enum class FamilyKey : std::int32_t {
    None = 0,
    Zepa,
    Xr2,
    Xr,
    Morvi,
    Sd,
    Olk,
    Tavrin,
    TavrinSh2,
    Fern,
    Belta,
    Noska,
    Kiruna,
    Dorian,
    Volk,
    Miraz,
    Solta,
    Lumika,
    SevenArc,
    Quill,
    Zt,
    Rowan,
    Fendy,
    Torvo,
    Miraz3,
    Yew,
    Yews,
    Lynx,
    TorvoII,
    YewII,
};

enum class UpgradePath : std::uint8_t {
    Ordinary,       // the main controller dialog alone
    UnionUpdate,    // the automatic sequence over every processor, unless "no_union_update"
    LumikaSequence, // the automatic sequence of the LUMIKA family, always
};

struct FamilyProperties {
    // Processor the scanner's identification asks about; 0 is the main controller.
    std::int32_t identityProcessor = 0;
    // The main controller dialog restarts the scanner when it closes the device.
    bool restartAtEnd = false;
    UpgradePath upgradePath = UpgradePath::Ordinary;
    // A timed wait before the first pass and after each main controller restart.
    bool timedWaits = false;
};

enum class DeviceIdForm : std::uint8_t { Sti, Aspi };

// One device identifier as the family table writes it. STI: model and bus
// ("SX-2700 USB"). ASPI: the product field without its padding, and the width
// it is padded to; a narrower field matches every product beginning with it.
struct DeviceIdEntry {
    DeviceIdForm form = DeviceIdForm::Sti;
    std::string_view text;
    std::size_t productWidth = 0;
};

// No family lists more identifiers than this.
inline constexpr std::size_t kMaxDeviceIds = 9;

struct DeviceIdList {
    std::array<DeviceIdEntry, kMaxDeviceIds> entries{};
    std::size_t count = 0;

    constexpr std::span<const DeviceIdEntry> view() const { return {entries.data(), count}; }
};

struct FamilyRow {
    std::string_view code;
    FamilyKey key = FamilyKey::None;
    DeviceIdList identifiers;
    FamilyProperties properties;
};

// All families, in the order codes are compared.
std::span<const FamilyRow> familyTable();

// Exact, case-sensitive comparison of the whole code; None when nothing matches.
FamilyKey lookUpFamily(const std::string& code);

// The family's device identifiers in the order the device search tries them,
// as the transports compare them; empty for None.
std::vector<std::string> familyIdentifiers(FamilyKey key);

// Defaults (ordinary, no flags) for None.
FamilyProperties familyProperties(FamilyKey key);

// Words a scanner may report as its product name in place of a model name.
std::span<const std::string_view> familyWords();

// Each value is one bit, so a display row can name several dialogs.
enum class FirmwareDialog : std::uint8_t {
    MainController = 1 << 0,
    MainDrive = 1 << 1,
    SubDrive = 1 << 2,
    Authentication = 1 << 3,
};

struct DisplayNameRow {
    std::string_view familyWord;
    std::string_view displayName;
    std::uint8_t dialogs = 0; // FirmwareDialog bits

    constexpr bool usedBy(FirmwareDialog dialog) const {
        return (dialogs & static_cast<std::uint8_t>(dialog)) != 0;
    }
};

// Every display row, in the order the main controller dialog applies them.
std::span<const DisplayNameRow> displayNameTable();

// The rows one dialog applies, in the order it applies them.
std::vector<DisplayNameRow> displayNameRows(FirmwareDialog dialog);
