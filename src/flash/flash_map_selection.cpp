#include "flash/flash_map_selection.h"

#include <algorithm>

#include "flash/region_flash_maps.h"
#include "flash/table_flash_maps.h"

namespace {

template <class Map> std::unique_ptr<CFlashMap> make() {
    return std::make_unique<Map>();
}

constexpr std::nullopt_t kNoReservedStart = std::nullopt;
constexpr std::string_view kNoExclusion;

// A new map starts with the reconnect flag set; the rules of scanners that
// stay on the bus in download mode clear it.
constexpr bool kReconnects = true;
constexpr bool kStaysConnected = false;

// clang-format off
const FlashMapRule kRules[] = {
    /*  1 */ {{"SX-4700C", "SX-2700", "SX-3600", "ZEPA"}, &make<C2m8mFlash>,
              kNoReservedStart, kReconnects, kNoExclusion},
    /*  2 */ {{"SX-3400C", "XR2", "SX-3300C", "XR"}, &make<C8m2mFlash>,
              kNoReservedStart, kReconnects, kNoExclusion},
    /*  3 */ {{"SX-2300C", "SX-2500C", "MORVI"}, &make<C8mFlash>,
              0x8FF00, kStaysConnected, kNoExclusion},
    /*  4 */ {{"SX-1600C", "SunDrift"}, &make<C8mFlash>,
              0x7FF00, kStaysConnected, kNoExclusion},
    /*  5 */ {{"SX-1400C", "SX-1300C"}, &make<C4mFlash>,
              kNoReservedStart, kReconnects, kNoExclusion},
    /*  6 */ {{"OLK"}, &make<C4mFlash>,
              kNoReservedStart, kReconnects, "OLK/PetiteVX"},
    /*  7 */ {{"RX-65", "Fern"}, &make<C8mFlash>,
              0x7FF00, kStaysConnected, kNoExclusion},
    /*  8 */ {{"RX-680", "TAVRIN"}, &make<CTavrinSh2Flash>,
              kNoReservedStart, kReconnects, kNoExclusion},
    /*  9 */ {{"SX-2200C", "SX-2400C", "BELTA"}, &make<C8mFlash>,
              0x8FF00, kStaysConnected, kNoExclusion},
    /* 10 */ {{"SX-1500C", "SX-1200C", "Mira-Z", "SX-1700C", "Vol-K", "SX-K30", "SX-K20"},
              &make<CMirazFlash>, kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 11 */ {{"SX-W50C", "SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700"},
              &make<C8m16mFlash>, kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 12 */ {{"SX-105", "M-105", "Do-RIAN"}, &make<CDorianFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 13 */ {{"RX-690i", "RX-610i"}, &make<CSoltaFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 14 */ {{"SX-470M", "LUMIKA"}, &make<C8mFlash>,
              0x8FF00, kStaysConnected, kNoExclusion},
    /* 15 */ {{"SX-H60"}, &make<CQuillFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 16 */ {{"SX-H40"}, &make<CZTFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 17 */ {{"SX-K25", "SX-K45"}, &make<CRowanFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 18 */ {{"SX-T25", "M-T25"}, &make<CTorvoFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
    /* 19 */ {{"SX-T18", "M-T18", "SX-T11", "M-T11"}, &make<CYewFlash>,
              kNoReservedStart, kStaysConnected, kNoExclusion},
};
// clang-format on

} // namespace

bool productBeginsWith(std::string_view inquiryString, std::string_view model) {
    return !model.empty() && inquiryString.find(model) == kProductOffset;
}

std::span<const std::string_view> FlashMapRule::modelTexts() const {
    const auto end = std::find(models.begin(), models.end(), std::string_view());
    return {models.begin(), end};
}

bool FlashMapRule::matches(std::string_view inquiryString) const {
    if (!unlessContains.empty() && inquiryString.find(unlessContains) != std::string_view::npos)
        return false;
    const auto texts = modelTexts();
    return std::any_of(texts.begin(), texts.end(), [&](std::string_view model) {
        return productBeginsWith(inquiryString, model);
    });
}

std::span<const FlashMapRule> flashMapRules() {
    return kRules;
}

const FlashMapRule* findFlashMapRule(std::string_view inquiryString) {
    for (const FlashMapRule& rule : kRules) {
        if (rule.matches(inquiryString))
            return &rule;
    }
    return nullptr;
}

std::unique_ptr<CFlashMap> createFlashMap(const FlashMapRule& rule) {
    std::unique_ptr<CFlashMap> map = rule.create();
    if (rule.reservedStart)
        map->SetReservedStart(*rule.reservedStart);
    map->SetReconnect(rule.reconnect);
    return map;
}

std::unique_ptr<CFlashMap> CreateFlashMapForProduct(const std::string& inquiryString) {
    const FlashMapRule* rule = findFlashMapRule(inquiryString);
    return rule ? createFlashMap(*rule) : nullptr;
}
