#include "app/family_registry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> words(const std::vector<DisplayNameRow>& rows) {
    std::vector<std::string> result;
    for (const auto& row : rows)
        result.emplace_back(row.familyWord);
    return result;
}

TEST(FamilyLookup, EveryCodeFindsItsOwnKeyInTableOrder) {
    const std::vector<std::string> codes{
        "ZEPA",   "XR2",   "XR",    "MORVI",   "SD",     "OLK",   "TAVRIN", "TAVRIN_SH2",
        "FERN",   "BELTA", "NOSKA", "KIRUNA",  "DORIAN", "VOLK",  "MIRAZ",  "SOLTA",
        "LUMIKA", "7ARC",  "QUILL", "ZT",      "ROWAN",  "FENDY", "TORVO",  "MIRAZ3",
        "YEW",    "YEWS",  "LYNX",  "TORVOII", "YEWII"};
    ASSERT_EQ(familyTable().size(), codes.size());
    std::set<FamilyKey> keys;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(familyTable()[i].code, codes[i]);
        const FamilyKey key = lookUpFamily(codes[i]);
        EXPECT_NE(key, FamilyKey::None) << codes[i];
        EXPECT_EQ(key, familyTable()[i].key) << codes[i];
        EXPECT_FALSE(familyIdentifiers(key).empty()) << codes[i];
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), codes.size());
}

TEST(FamilyLookup, ComparesTheWholeCodeExactly) {
    EXPECT_EQ(lookUpFamily("XR"), FamilyKey::Xr);
    EXPECT_EQ(lookUpFamily("XR2"), FamilyKey::Xr2);
    EXPECT_EQ(lookUpFamily("YEW"), FamilyKey::Yew);
    for (const char* code : {"zepa", "Zepa", "ZEPA ", "XR3", "TAVRIN_SH", "", "OLK/PetiteVX"}) {
        EXPECT_EQ(lookUpFamily(code), FamilyKey::None) << code;
    }
    EXPECT_TRUE(familyIdentifiers(lookUpFamily("zepa")).empty());
}

TEST(FamilyLookup, TavrinSh2IsTavrinAskingTheSecondProcessor) {
    const FamilyKey tavrin = lookUpFamily("TAVRIN");
    const FamilyKey sh2 = lookUpFamily("TAVRIN_SH2");
    EXPECT_NE(tavrin, sh2);
    EXPECT_EQ(familyIdentifiers(tavrin), familyIdentifiers(sh2));
    EXPECT_EQ(familyProperties(tavrin).identityProcessor, 0);
    EXPECT_EQ(familyProperties(sh2).identityProcessor, 1);
}

TEST(FamilyIdentifiers, ZepaListIsExactAndInOrder) {
    const std::vector<std::string> expected{
        "STI\\KORVA SX-4700C SCSI",       "STI\\KORVA SX-4700C USB",
        "STI\\KORVA SX-2700 SCSI",        "STI\\KORVA SX-2700 USB",
        "ASPI\\KORVA   ZEPA            ", "ASPI\\KORVA   SX-2700         ",
        "ASPI\\KORVA   SX-4700C        "};
    EXPECT_EQ(familyIdentifiers(FamilyKey::Zepa), expected);
}

TEST(FamilyIdentifiers, AspiProductFieldsAreSixteenWideExceptLumika) {
    for (const auto& row : familyTable()) {
        for (const auto& id : familyIdentifiers(row.key)) {
            if (!id.starts_with("ASPI\\"))
                continue;
            EXPECT_EQ(id.substr(5, 8), "KORVA   ") << row.code;
            EXPECT_EQ(id.size(), row.key == FamilyKey::Lumika ? 5u + 8 + 15 : 5u + 8 + 16)
                << row.code << " '" << id << "'";
        }
    }
    const std::vector<std::string> lumika{"STI\\KORVA SX-470M USB", "ASPI\\KORVA   LUMIKA         ",
                                          "ASPI\\KORVA   SX-470M        "};
    EXPECT_EQ(familyIdentifiers(FamilyKey::Lumika), lumika);
}

TEST(FamilyIdentifiers, SevenArcSharesTheMorviProductField) {
    const std::string morvi = "ASPI\\KORVA   MORVI           ";
    EXPECT_EQ(familyIdentifiers(FamilyKey::Morvi)[2], morvi);
    EXPECT_EQ(familyIdentifiers(lookUpFamily("7ARC"))[2], morvi);
}

TEST(FamilyProperties, OnlyTheNamedFamiliesDepartFromTheOrdinaryUpgrade) {
    for (const auto& row : familyTable()) {
        const FamilyProperties p = familyProperties(row.key);
        const FamilyKey k = row.key;
        EXPECT_EQ(p.identityProcessor, k == FamilyKey::TavrinSh2 ? 1 : 0) << row.code;
        EXPECT_EQ(p.restartAtEnd, k == FamilyKey::Yew || k == FamilyKey::Yews) << row.code;
        EXPECT_EQ(p.timedWaits, k == FamilyKey::Lynx) << row.code;
        const UpgradePath path = k == FamilyKey::Kiruna || k == FamilyKey::Lynx
                                     ? UpgradePath::UnionUpdate
                                 : k == FamilyKey::Lumika ? UpgradePath::LumikaSequence
                                                          : UpgradePath::Ordinary;
        EXPECT_EQ(p.upgradePath, path) << row.code;
    }
    const FamilyProperties none = familyProperties(FamilyKey::None);
    EXPECT_EQ(none.upgradePath, UpgradePath::Ordinary);
    EXPECT_FALSE(none.restartAtEnd || none.timedWaits || none.identityProcessor != 0);
}

TEST(FamilyDisplayNames, MainControllerAppliesEveryRowInTableOrder) {
    const auto rows = displayNameRows(FirmwareDialog::MainController);
    ASSERT_EQ(rows.size(), displayNameTable().size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].familyWord, displayNameTable()[i].familyWord);
    EXPECT_EQ(rows[13].familyWord, "QUILL");
    EXPECT_EQ(rows[17].familyWord, "TORVO");
}

TEST(FamilyDisplayNames, DriveAndAuthenticationDialogsKeepTheirOwnOrder) {
    const std::vector<std::string> common{"ZEPA",   "XR2",  "XR",    "MORVI", "SunDrift", "OLK",
                                          "TAVRIN", "FERN", "BELTA", "NOSKA", "KIRUNA"};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> all = common;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    EXPECT_EQ(words(displayNameRows(FirmwareDialog::MainDrive)), with({"DORIAN", "TORVO", "LYNX"}));
    EXPECT_EQ(words(displayNameRows(FirmwareDialog::SubDrive)),
              with({"LUMIKA", "DORIAN", "TORVO", "LYNX"}));
    EXPECT_EQ(words(displayNameRows(FirmwareDialog::Authentication)),
              with({"DORIAN", "TORVO", "LUMIKA"}));
}

} // namespace
