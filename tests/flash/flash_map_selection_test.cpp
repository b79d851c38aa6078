#include "flash/flash_map_selection.h"
#include "flash/region_flash_maps.h"
#include "flash/table_flash_maps.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

namespace {

// The identification text as the scanner returns it: vendor padded to 8,
// product padded to 16, revision.
std::string inquiry(const std::string& product, const std::string& vendor = "KORVA") {
    std::string text = vendor;
    text.resize(8, ' ');
    text += product;
    if (text.size() < 24)
        text.resize(24, ' ');
    return text + "1.02";
}

struct Expected {
    std::string model;
    std::type_index map;
    std::optional<std::uint32_t> reservedStart; // C8mFlash only
    bool reconnect;
};

void PrintTo(const Expected& e, std::ostream* os) {
    *os << e.model;
}

template <class Map> std::type_index type() {
    return std::type_index(typeid(Map));
}

// Every model text of the selection with what it must give.
const std::vector<Expected>& everyModel() {
    static const std::vector<Expected> rows{
        {"SX-4700C", type<C2m8mFlash>(), {}, true},
        {"SX-2700", type<C2m8mFlash>(), {}, true},
        {"SX-3600", type<C2m8mFlash>(), {}, true},
        {"ZEPA", type<C2m8mFlash>(), {}, true},
        {"SX-3400C", type<C8m2mFlash>(), {}, true},
        {"XR2", type<C8m2mFlash>(), {}, true},
        {"SX-3300C", type<C8m2mFlash>(), {}, true},
        {"XR", type<C8m2mFlash>(), {}, true},
        {"SX-2300C", type<C8mFlash>(), 0x8FF00, false},
        {"SX-2500C", type<C8mFlash>(), 0x8FF00, false},
        {"MORVI", type<C8mFlash>(), 0x8FF00, false},
        {"SX-1600C", type<C8mFlash>(), 0x7FF00, false},
        {"SunDrift", type<C8mFlash>(), 0x7FF00, false},
        {"SX-1400C", type<C4mFlash>(), {}, true},
        {"SX-1300C", type<C4mFlash>(), {}, true},
        {"OLK", type<C4mFlash>(), {}, true},
        {"RX-65", type<C8mFlash>(), 0x7FF00, false},
        {"Fern", type<C8mFlash>(), 0x7FF00, false},
        {"RX-680", type<CTavrinSh2Flash>(), {}, true},
        {"TAVRIN", type<CTavrinSh2Flash>(), {}, true},
        {"SX-2200C", type<C8mFlash>(), 0x8FF00, false},
        {"SX-2400C", type<C8mFlash>(), 0x8FF00, false},
        {"BELTA", type<C8mFlash>(), 0x8FF00, false},
        {"SX-1500C", type<CMirazFlash>(), {}, false},
        {"SX-1200C", type<CMirazFlash>(), {}, false},
        {"Mira-Z", type<CMirazFlash>(), {}, false},
        {"SX-1700C", type<CMirazFlash>(), {}, false},
        {"Vol-K", type<CMirazFlash>(), {}, false},
        {"SX-K30", type<CMirazFlash>(), {}, false},
        {"SX-K20", type<CMirazFlash>(), {}, false},
        {"SX-W50C", type<C8m16mFlash>(), {}, false},
        {"SX-4600C", type<C8m16mFlash>(), {}, false},
        {"SX-3500C", type<C8m16mFlash>(), {}, false},
        {"SX-2600C", type<C8m16mFlash>(), {}, false},
        {"SX-V730", type<C8m16mFlash>(), {}, false},
        {"SX-V700", type<C8m16mFlash>(), {}, false},
        {"SX-105", type<CDorianFlash>(), {}, false},
        {"M-105", type<CDorianFlash>(), {}, false},
        {"Do-RIAN", type<CDorianFlash>(), {}, false},
        {"RX-690i", type<CSoltaFlash>(), {}, false},
        {"RX-610i", type<CSoltaFlash>(), {}, false},
        {"SX-470M", type<C8mFlash>(), 0x8FF00, false},
        {"LUMIKA", type<C8mFlash>(), 0x8FF00, false},
        {"SX-H60", type<CQuillFlash>(), {}, false},
        {"SX-H40", type<CZTFlash>(), {}, false},
        {"SX-K25", type<CRowanFlash>(), {}, false},
        {"SX-K45", type<CRowanFlash>(), {}, false},
        {"SX-T25", type<CTorvoFlash>(), {}, false},
        {"M-T25", type<CTorvoFlash>(), {}, false},
        {"SX-T18", type<CYewFlash>(), {}, false},
        {"M-T18", type<CYewFlash>(), {}, false},
        {"SX-T11", type<CYewFlash>(), {}, false},
        {"M-T11", type<CYewFlash>(), {}, false},
    };
    return rows;
}

void expectMap(const std::string& inquiryString, const Expected& e) {
    SCOPED_TRACE("\"" + inquiryString + "\"");
    const std::unique_ptr<CFlashMap> map = CreateFlashMapForProduct(inquiryString);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(std::type_index(typeid(*map)), e.map);
    EXPECT_EQ(map->GetReconnect(), e.reconnect);
    if (e.reservedStart) {
        const auto& c8m = dynamic_cast<const C8mFlash&>(*map);
        EXPECT_EQ(c8m.GetReservedStart(), *e.reservedStart);
        EXPECT_TRUE(map->IsReservedAddress(*e.reservedStart));
    }
}

class FlashMapSelection : public ::testing::TestWithParam<Expected> {};

TEST_P(FlashMapSelection, ModelAsProductSelectsItsMap) {
    expectMap(inquiry(GetParam().model), GetParam());
}

TEST_P(FlashMapSelection, ModelIsMatchedAsAPrefixOfTheProduct) {
    expectMap(inquiry(GetParam().model + "II"), GetParam());
    // Identification texts stop at the first zero byte, so they may be short.
    expectMap("KORVA   " + GetParam().model, GetParam());
}

TEST_P(FlashMapSelection, ModelAtAnotherOffsetDoesNotMatch) {
    const std::string& model = GetParam().model;
    EXPECT_EQ(CreateFlashMapForProduct(inquiry(" " + model)), nullptr);
    EXPECT_EQ(CreateFlashMapForProduct(model), nullptr);
    // The first occurrence decides: the same text in the vendor field hides
    // the product (every model text fits the 8-character vendor field).
    ASSERT_LE(model.size(), 8u);
    EXPECT_EQ(CreateFlashMapForProduct(inquiry(model, model)), nullptr);
}

INSTANTIATE_TEST_SUITE_P(EveryModelText, FlashMapSelection, ::testing::ValuesIn(everyModel()),
                         [](const auto& info) {
                             std::string name;
                             for (char ch : info.param.model)
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(FlashMapRules, TableHoldsExactlyTheTestedTextsInNineteenRules) {
    const auto rules = flashMapRules();
    ASSERT_EQ(rules.size(), 19u);
    std::vector<std::string> texts;
    for (const FlashMapRule& rule : rules) {
        EXPECT_FALSE(rule.modelTexts().empty());
        for (std::string_view text : rule.modelTexts())
            texts.emplace_back(text);
    }
    std::vector<std::string> expected;
    for (const Expected& e : everyModel())
        expected.push_back(e.model);
    EXPECT_EQ(texts, expected);
}

TEST(FlashMapRules, LaterProductNamesGoToTheirOwnRule) {
    expectMap(inquiry("SX-T25II"), {"", type<CTorvoFlash>(), {}, false});
    expectMap(inquiry("SX-T18II"), {"", type<CYewFlash>(), {}, false});
    // "SX-K25" must not be taken for the "SX-K20" of an older rule, nor
    // "RX-690i" for "RX-65".
    expectMap(inquiry("SX-K25"), {"", type<CRowanFlash>(), {}, false});
    expectMap(inquiry("RX-690i"), {"", type<CSoltaFlash>(), {}, false});
}

TEST(FlashMapRules, PetiteVxIsNoOlk) {
    EXPECT_EQ(CreateFlashMapForProduct(inquiry("OLK/PetiteVX")), nullptr);
    EXPECT_EQ(CreateFlashMapForProduct(inquiry("OLK/PetiteVX2")), nullptr);
    expectMap(inquiry("OLK/Petite"), {"", type<C4mFlash>(), {}, true});
    expectMap(inquiry("OLK-PetiteVX"), {"", type<C4mFlash>(), {}, true});
}

TEST(FlashMapRules, EachTextOfARuleIsLookedUpOnItsOwn) {
    // "XR" first occurs in the vendor field, "XR2" first at the product.
    expectMap(inquiry("XR2", "XRAYTEK"), {"", type<C8m2mFlash>(), {}, true});
    EXPECT_EQ(CreateFlashMapForProduct(inquiry("XR9", "XRAYTEK")), nullptr);
}

TEST(FlashMapRules, UnknownProductsMatchNothing) {
    for (const char* product : {"sx-t25", "Lumika", "SX-T2", "SX-", "M-", "", "XZ"})
        EXPECT_EQ(CreateFlashMapForProduct(inquiry(product)), nullptr) << product;
    EXPECT_EQ(CreateFlashMapForProduct(""), nullptr);
    EXPECT_EQ(findFlashMapRule(inquiry("SX-9999")), nullptr);
}

} // namespace
