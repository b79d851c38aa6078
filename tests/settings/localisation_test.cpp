#include "settings/localisation.h"

#include "platform/system_info.h"
#include "settings/loc_test_files.h"
#include "settings/loc_text.h"
#include "support/environment.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using testing_support::Utf8;

namespace {

// Restores the process-wide settings a test changes.
class ProcessState {
public:
    ProcessState() : languageId_(LanguageId()) {
        const char* windir = std::getenv("REFIRM_WINDIR");
        hadWindir_ = windir != nullptr;
        if (windir)
            windir_ = windir;
    }
    ~ProcessState() {
        SetLanguageId(languageId_);
        platform::SetModuleFileNameOverride("");
        if (hadWindir_)
            testing_support::setEnvironment("REFIRM_WINDIR", windir_.c_str());
        else
            testing_support::unsetEnvironment("REFIRM_WINDIR");
    }

private:
    platform::LANGID languageId_;
    bool hadWindir_ = false;
    std::string windir_;
};

const std::string kShippedFile = std::string(REFIRM_SOURCE_DIR) + "/examples/refirm.LOC";

} // namespace

TEST(Localisation, DialogFontDependsOnLanguageIdAlone) {
    ProcessState state;
    SetLanguageId(1041);
    EXPECT_EQ(DialogFontFaceName("MS Sans Serif/8"), Utf8(u8"ＭＳ Ｐゴシック"));
    EXPECT_EQ(DialogFontFaceName("MS Sans Serif/8"),
              "\xEF\xBC\xAD\xEF\xBC\xB3\x20\xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3"
              "\x82\xAF");
    EXPECT_EQ(DialogFontPointSize("MS Sans Serif/8"), 9);
    for (platform::LANGID other : {1033, 2057, 1031, 2065}) {
        SetLanguageId(other);
        EXPECT_EQ(DialogFontFaceName(Utf8(u8"ＭＳ Ｐゴシック/9")), "MS Sans Serif");
        EXPECT_EQ(DialogFontPointSize(Utf8(u8"ＭＳ Ｐゴシック/9")), 8);
    }
}

TEST(Localisation, CandidatesInOrder) {
    ProcessState state;
    testing_support::setEnvironment("REFIRM_WINDIR", "/srv/windows");
    platform::SetModuleFileNameOverride("/home/user/.local/bin/refirm");
    EXPECT_EQ(
        LocCandidateFileNames(),
        (std::vector<std::string>{"/home/user/.local/bin/refirm.LOC", "REFIRM.LOC",
                                  ".\\ZavidarEviv.LOC", "/srv/windows\\Vistrel\\ZavidarEviv.LOC"}));

    EXPECT_EQ(LocFileNameBesideExecutable("C:\\Tools\\Refirm.exe"), "C:\\Tools\\Refirm.LOC");
    EXPECT_EQ(LocFileNameBesideExecutable("/opt/v1.2/refirm"), "/opt/v1.2/refirm.LOC");
    EXPECT_EQ(LocFileNameBesideExecutable("refirm.bin"), "refirm.LOC");
}

// The process-wide table loads once per process, so this is its only test; it
// gives up when something else in this process has loaded the table already.
TEST(Localisation, ProcessWideTableRetriesUntilAFileBesideTheExecutableIsRead) {
    ProcessState state;
    if (ProcessLocText().isLoaded())
        GTEST_SKIP() << "the process-wide table was loaded earlier in this process";
    if (std::filesystem::exists("REFIRM_TESTS.LOC") || std::filesystem::exists("ZavidarEviv.LOC"))
        GTEST_SKIP() << "a localisation file lies in the current directory";
    testing_support::ScratchDir dir;
    testing_support::setEnvironment("REFIRM_WINDIR", dir.path().c_str());
    platform::SetModuleFileNameOverride(dir.file("refirm_tests"));
    SetLanguageId(1041);

    EXPECT_EQ(Translate("No Devices Found."), "No Devices Found.");

    std::filesystem::copy_file(kShippedFile, dir.file("refirm_tests.LOC"));
    // Translate loads by itself, without a length asked for first.
    const std::string japanese = Utf8(u8"デバイスが見つかりません。");
    EXPECT_EQ(Translate("No Devices Found."), japanese);
    EXPECT_EQ(TranslatedLength("No Devices Found."), japanese.size());
    SetLanguageId(1033);
    EXPECT_EQ(Translate("No Devices Found."), "No Devices Found.");
}

TEST(Localisation, ShippedFileTranslatesProgramTextsIntoJapanese) {
    const std::string content = testing_support::readFile(kShippedFile);
    ASSERT_GE(content.size(), 4u);
    EXPECT_EQ(content.substr(0, 4), std::string("\xFF\xFE;\0", 4)); // BOM, then a comment
    EXPECT_NE(content.find(std::string("\r\0\n\0", 4)), std::string::npos);

    CLocText table({kShippedFile});
    EXPECT_EQ(table.languageIds(), (std::vector<int>{1033, 1041}));
    EXPECT_EQ(table.languageName(1041), "Japanese");
    EXPECT_EQ(table.translate("No Devices Found.", 1041), Utf8(u8"デバイスが見つかりません。"));
    EXPECT_EQ(table.translate("MS Sans Serif/8", 1041), Utf8(u8"ＭＳ Ｐゴシック/9"));
    for (const char* text : {"Error", "Invalid parameter."}) {
        EXPECT_NE(table.translate(text, 1041), text);
        EXPECT_EQ(table.translate(text, 1033), text);
    }
}
