#include "app/family_registry.h"

#include <algorithm>

namespace {

constexpr std::string_view kStiPrefix = "STI\\KORVA ";
constexpr std::string_view kAspiPrefix = "ASPI\\";
constexpr std::string_view kAspiVendor = "KORVA   ";
static_assert(kAspiVendor.size() == 8, "the INQUIRY vendor field is 8 characters");

constexpr std::size_t kProductWidth = 16;

// The throws below never run: reached during constant evaluation they make a
// malformed table entry fail to compile.
consteval DeviceIdEntry sti(std::string_view modelAndBus) {
    if (!modelAndBus.ends_with(" USB") && !modelAndBus.ends_with(" SCSI"))
        throw "an STI identifier ends in its bus, USB or SCSI";
    return {DeviceIdForm::Sti, modelAndBus, 0};
}

consteval DeviceIdEntry aspi(std::string_view product, std::size_t width = kProductWidth) {
    if (product.empty() || product.size() > width || width > kProductWidth)
        throw "an ASPI product field has at most 16 characters";
    return {DeviceIdForm::Aspi, product, width};
}

// LUMIKA's ASPI fields are one blank short, so they also match a product with
// any character in the last position.
consteval DeviceIdEntry aspi15(std::string_view product) {
    return aspi(product, kProductWidth - 1);
}

template <typename... Entries> consteval DeviceIdList ids(Entries... entries) {
    static_assert(sizeof...(entries) >= 1 && sizeof...(entries) <= kMaxDeviceIds);
    return {{entries...}, sizeof...(entries)};
}

constexpr FamilyProperties kOrdinary{};
constexpr FamilyProperties kUnionUpdate{.upgradePath = UpgradePath::UnionUpdate};

// TAVRIN_SH2 is the TAVRIN scanner; only its identification asks processor 1.
constexpr DeviceIdList kTavrinIds =
    ids(sti("RX-680 SCSI"), sti("RX-680 USB"), aspi("TAVRIN"), aspi("RX-680"));

using FK = FamilyKey;

// clang-format off
constexpr std::array<FamilyRow, 29> kFamilies{{
    {"ZEPA", FK::Zepa,
     ids(sti("SX-4700C SCSI"), sti("SX-4700C USB"), sti("SX-2700 SCSI"), sti("SX-2700 USB"),
         aspi("ZEPA"), aspi("SX-2700"), aspi("SX-4700C")),
     kOrdinary},
    {"XR2", FK::Xr2,
     ids(sti("SX-3400C SCSI"), sti("SX-3400C USB"), aspi("XR2"), aspi("SX-3400C")),
     kOrdinary},
    {"XR", FK::Xr,
     ids(sti("SX-3300C SCSI"), sti("SX-3300C USB"), aspi("XR"), aspi("SX-3300C")),
     kOrdinary},
    {"MORVI", FK::Morvi,
     ids(sti("SX-2300C SCSI"), sti("SX-2300C USB"), aspi("MORVI"), aspi("SX-2300C")),
     kOrdinary},
    {"SD", FK::Sd, ids(sti("SX-1600C USB")), kOrdinary},
    {"OLK", FK::Olk,
     ids(sti("SX-1400C SCSI"), sti("SX-1400C USB"), sti("SX-1300C USB"), aspi("OLK"),
         aspi("OLK/PetiteVX"), aspi("SX-1400C")),
     kOrdinary},
    {"TAVRIN", FK::Tavrin, kTavrinIds, kOrdinary},
    {"TAVRIN_SH2", FK::TavrinSh2, kTavrinIds, {.identityProcessor = 1}},
    {"FERN", FK::Fern, ids(sti("RX-65 USB"), sti("RX-62 USB")), kOrdinary},
    {"BELTA", FK::Belta,
     ids(sti("SX-2200C SCSI"), sti("SX-2400C SCSI"), sti("SX-2200C USB"), sti("SX-2400C USB"),
         aspi("BELTA"), aspi("SX-2200C"), aspi("SX-2400C")),
     kOrdinary},
    {"NOSKA", FK::Noska, ids(sti("SX-W50C SCSI"), sti("SX-W50C USB"), aspi("SX-W50C")),
     kOrdinary},
    {"KIRUNA", FK::Kiruna,
     ids(sti("SX-4600C SCSI"), sti("SX-3500C SCSI"), sti("SX-2600C SCSI"), sti("SX-4600C USB"),
         sti("SX-3500C USB"), sti("SX-2600C USB"), aspi("SX-4600C"), aspi("SX-3500C"),
         aspi("SX-2600C")),
     kUnionUpdate},
    {"DORIAN", FK::Dorian, ids(sti("SX-105 USB"), sti("M-105 USB")), kOrdinary},
    {"VOLK", FK::Volk, ids(sti("SX-1700C USB")), kOrdinary},
    {"MIRAZ", FK::Miraz, ids(sti("SX-1500C USB"), sti("SX-1200C USB")), kOrdinary},
    {"SOLTA", FK::Solta, ids(sti("RX-690i USB"), sti("RX-610i USB")), kOrdinary},
    {"LUMIKA", FK::Lumika, ids(sti("SX-470M USB"), aspi15("LUMIKA"), aspi15("SX-470M")),
     {.upgradePath = UpgradePath::LumikaSequence}},
    // 7ARC shares the MORVI product field.
    {"7ARC", FK::SevenArc,
     ids(sti("SX-2500C SCSI"), sti("SX-2500C USB"), aspi("MORVI"), aspi("SX-2500C")),
     kOrdinary},
    {"QUILL", FK::Quill, ids(sti("SX-H60 USB")), kOrdinary},
    {"ZT", FK::Zt, ids(sti("SX-H40 USB")), kOrdinary},
    {"ROWAN", FK::Rowan, ids(sti("SX-K25 USB")), kOrdinary},
    {"FENDY", FK::Fendy, ids(sti("SX-K45 USB")), kOrdinary},
    {"TORVO", FK::Torvo, ids(sti("SX-T25 USB"), sti("M-T25 USB")), kOrdinary},
    {"MIRAZ3", FK::Miraz3, ids(sti("SX-K30 USB"), sti("SX-K20 USB")), kOrdinary},
    {"YEW", FK::Yew, ids(sti("SX-T18 USB"), sti("M-T18 USB")), {.restartAtEnd = true}},
    {"YEWS", FK::Yews, ids(sti("SX-T11 USB"), sti("M-T11 USB")), {.restartAtEnd = true}},
    {"LYNX", FK::Lynx, ids(sti("SX-V730 USB"), sti("SX-V700 USB")),
     {.upgradePath = UpgradePath::UnionUpdate, .timedWaits = true}},
    {"TORVOII", FK::TorvoII, ids(sti("SX-T25II USB"), sti("M-T25II USB")), kOrdinary},
    {"YEWII", FK::YewII, ids(sti("SX-T18II USB"), sti("M-T18II USB")), kOrdinary},
}};
// clang-format on

consteval bool keysAreDistinctAndSet() {
    for (std::size_t i = 0; i < kFamilies.size(); ++i) {
        if (kFamilies[i].key == FamilyKey::None)
            return false;
        for (std::size_t j = i + 1; j < kFamilies.size(); ++j)
            if (kFamilies[i].key == kFamilies[j].key || kFamilies[i].code == kFamilies[j].code)
                return false;
    }
    return true;
}
static_assert(keysAreDistinctAndSet(), "every family needs its own code and key");

constexpr std::array<std::string_view, 14> kFamilyWords{
    "ZEPA", "XR2",    "XR",    "MORVI",  "SunDrift", "OLK",     "OLK/PetiteVX",
    "Fern", "TAVRIN", "BELTA", "Mira-Z", "Vol-K",    "Do-RIAN", "LUMIKA",
};

constexpr auto bit(FirmwareDialog dialog) {
    return static_cast<std::uint8_t>(dialog);
}

constexpr std::uint8_t kMain = bit(FirmwareDialog::MainController);
constexpr std::uint8_t kMainDriveBit = bit(FirmwareDialog::MainDrive);
constexpr std::uint8_t kSubDriveBit = bit(FirmwareDialog::SubDrive);
constexpr std::uint8_t kAuth = bit(FirmwareDialog::Authentication);
constexpr std::uint8_t kAll = kMain | kMainDriveBit | kSubDriveBit | kAuth;

// clang-format off
constexpr std::array<DisplayNameRow, 24> kDisplayNames{{
    {"ZEPA",     "SX-2700/4700C",        kAll},
    {"XR2",      "SX-3400C",             kAll},
    {"XR",       "SX-3300C",             kAll},
    {"MORVI",    "SX-2300C/2500C",       kAll},
    {"SunDrift", "SX-1600C",             kAll},
    {"OLK",      "SX-1400C",             kAll},
    {"TAVRIN",   "RX-680",               kAll},
    {"FERN",     "RX-65",                kAll},
    {"BELTA",    "SX-2200C/2400C",       kAll},
    {"NOSKA",    "SX-W50C",              kAll},
    {"KIRUNA",   "SX-4600C/3500C/2600C", kAll},
    {"DORIAN",   "SX-105/M-105",         kAll},
    {"LUMIKA",   "SX-470M",              kMain | kSubDriveBit | kAuth},
    {"QUILL",    "SX-H60",               kMain},
    {"ZT",       "SX-H40",               kMain},
    {"ROWAN",    "SX-K25",               kMain},
    {"FENDY",    "SX-K45",               kMain},
    {"TORVO",    "SX-T25/M-T25",         kAll},
    {"MIRAZ3",   "SX-K30/K20",           kMain},
    {"YEW",      "SX-T18/M-T18",         kMain},
    {"YEWS",     "SX-T11/M-T11",         kMain},
    {"LYNX",     "SX-V730/V700",         kMain | kMainDriveBit | kSubDriveBit},
    {"TORVOII",  "SX-T25II/M-T25II",     kMain},
    {"YEWII",    "SX-T18II/M-T18II",     kMain},
}};
// clang-format on

// The drive and authentication dialogs keep a few rows elsewhere than the main
// controller dialog does: for the dialogs named, the row of `word` stands
// directly after the row of `after`. A moved row shares no text with the rows it
// moves past, so the move changes no display name; it keeps each dialog's order
// as that dialog applies it.
struct MovedRow {
    std::uint8_t dialogs;
    std::string_view word;
    std::string_view after;
};

constexpr std::array<MovedRow, 2> kMovedRows{{
    {kMainDriveBit | kSubDriveBit | kAuth, "TORVO", "DORIAN"},
    {kSubDriveBit, "LUMIKA", "KIRUNA"},
}};

const FamilyRow* findFamily(FamilyKey key) {
    const auto it = std::find_if(kFamilies.begin(), kFamilies.end(),
                                 [key](const FamilyRow& row) { return row.key == key; });
    return it == kFamilies.end() ? nullptr : &*it;
}

std::string identifierText(const DeviceIdEntry& entry) {
    if (entry.form == DeviceIdForm::Sti)
        return std::string(kStiPrefix).append(entry.text);
    std::string product(entry.text);
    product.resize(entry.productWidth, ' ');
    return std::string(kAspiPrefix).append(kAspiVendor).append(product);
}

bool isMoved(FirmwareDialog dialog, std::string_view word) {
    return std::any_of(kMovedRows.begin(), kMovedRows.end(), [&](const MovedRow& moved) {
        return (moved.dialogs & bit(dialog)) != 0 && moved.word == word;
    });
}

const DisplayNameRow& displayRow(std::string_view word) {
    return *std::find_if(kDisplayNames.begin(), kDisplayNames.end(),
                         [word](const DisplayNameRow& row) { return row.familyWord == word; });
}

} // namespace

std::span<const FamilyRow> familyTable() {
    return kFamilies;
}

FamilyKey lookUpFamily(const std::string& code) {
    for (const auto& row : kFamilies)
        if (row.code == code)
            return row.key;
    return FamilyKey::None;
}

std::vector<std::string> familyIdentifiers(FamilyKey key) {
    std::vector<std::string> identifiers;
    if (const FamilyRow* row = findFamily(key))
        for (const auto& entry : row->identifiers.view())
            identifiers.push_back(identifierText(entry));
    return identifiers;
}

FamilyProperties familyProperties(FamilyKey key) {
    const FamilyRow* row = findFamily(key);
    return row ? row->properties : FamilyProperties{};
}

std::span<const std::string_view> familyWords() {
    return kFamilyWords;
}

std::span<const DisplayNameRow> displayNameTable() {
    return kDisplayNames;
}

std::vector<DisplayNameRow> displayNameRows(FirmwareDialog dialog) {
    std::vector<DisplayNameRow> rows;
    for (const auto& row : kDisplayNames) {
        if (!row.usedBy(dialog) || isMoved(dialog, row.familyWord))
            continue;
        rows.push_back(row);
        for (const auto& moved : kMovedRows)
            if ((moved.dialogs & bit(dialog)) != 0 && moved.after == row.familyWord &&
                displayRow(moved.word).usedBy(dialog))
                rows.push_back(displayRow(moved.word));
    }
    return rows;
}
