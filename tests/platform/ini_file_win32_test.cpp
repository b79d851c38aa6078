#include "platform/ini_file.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

// The system's private-profile functions, as the program calls them.
namespace {

using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

TEST(SystemIniFile, WritesAndReadsBackThroughTheSystem) {
    ScratchDir dir;
    const std::string ini = dir.file("scanner.ini");
    ASSERT_TRUE(platform::WritePrivateProfileStringA("refirm", "UpgradeCompleted", "True", ini));
    ASSERT_TRUE(platform::WritePrivateProfileStringA("refirm", "ShadingReplace", "False", ini));
    ASSERT_TRUE(platform::WritePrivateProfileStringA("refirm", "UpgradeCompleted", "1", ini));
    EXPECT_EQ(readFile(ini), "[refirm]\r\nUpgradeCompleted=1\r\nShadingReplace=False\r\n");
    EXPECT_EQ(platform::GetPrivateProfileStringA("REFIRM", "shadingreplace", "", 256, ini),
              "False");
    EXPECT_EQ(platform::GetPrivateProfileIntA("refirm", "UpgradeCompleted", 5, ini), 1);
}

TEST(SystemIniFile, MissingEmptyAndLongValues) {
    ScratchDir dir;
    const std::string ini = dir.file("refirm.ini");
    writeFile(ini, "[refirm]\r\nEmpty=\r\nNumber= -12x\r\nLong=" + std::string(3000, 'v') + "\r\n");
    EXPECT_EQ(platform::GetPrivateProfileStringA("refirm", "Missing", "def  ", 256, ini), "def");
    EXPECT_EQ(platform::GetPrivateProfileStringA("refirm", "Empty", "def", 256, ini), "");
    EXPECT_EQ(platform::GetPrivateProfileIntA("refirm", "Empty", 5, ini), 5);
    EXPECT_EQ(platform::GetPrivateProfileIntA("refirm", "Number", 5, ini), -12);
    EXPECT_EQ(platform::GetPrivateProfileStringA("refirm", "Long", "", 4000, ini),
              std::string(3000, 'v'));
    EXPECT_EQ(platform::GetPrivateProfileStringA("refirm", "Long", "", 10, ini),
              std::string(9, 'v'));
    EXPECT_EQ(platform::GetPrivateProfileStringA("other", "Long", "none", 256, dir.file("no.ini")),
              "none");
}

} // namespace
