#include "settings/settings_file.h"

#include "support/settings_sandbox.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    SettingsSandbox box;
};

TEST_F(SettingsFileTest, FallbackReadersPreferTheCurrentDirectory) {
    writeFile(box.exeIni(), "[refirm]\nVersion=exe\nCount=1\nOnlyExe=e\n");
    writeFile(box.cwdIni(), "[Refirm]\nVersion=cwd\nCount=2\n");
    EXPECT_EQ(ReadSettingString("Version", "def"), "cwd");
    EXPECT_EQ(ReadSettingInt("Count", 9), 2);
    EXPECT_EQ(ReadSettingString("OnlyExe", "def"), "e");
    EXPECT_EQ(ReadSettingString("Nowhere", "def"), "def");
    EXPECT_EQ(ReadSettingInt("Nowhere", 9), 9);
}

TEST_F(SettingsFileTest, NamedReaderWithoutPathPrefersTheExecutableDirectory) {
    writeFile(box.exeIni(), "[refirm]\nVersion=exe\n");
    writeFile(box.cwdIni(), "[refirm]\nVersion=cwd\nOnlyCwd=c\n");
    EXPECT_EQ(ReadNamedString("Version"), "exe");
    EXPECT_EQ(ReadNamedString("OnlyCwd"), "c");
    EXPECT_EQ(ReadNamedString("Nowhere", "def"), "def");
}

TEST_F(SettingsFileTest, NamedReaderWithPathReadsOnlyThatFile) {
    writeFile(box.exeIni(), "[refirm]\nVersion=exe\n");
    const std::string other = box.cwdDir.file("other.ini");
    writeFile(other, "[refirm]\nCount=5\n");
    EXPECT_EQ(ReadNamedString("Version", "def", other), "def");
    EXPECT_EQ(ReadNamedInt("Count", 0, other), 5);
    EXPECT_EQ(ReadNamedInt("Version", 3, other), 3);
}

TEST_F(SettingsFileTest, ReadersCutLongValues) {
    writeFile(box.exeIni(), "[refirm]\nLong=" + std::string(300, 'x') + "\n");
    EXPECT_EQ(ReadSettingString("Long", "").size(), 255u);
    EXPECT_EQ(ReadNamedString("Long").size(), 127u);
}

TEST_F(SettingsFileTest, HexadecimalValues) {
    writeFile(box.exeIni(), "[refirm]\na=0x1F\nb=0X1f\nc=1F\nd=?????\ne=zz\n"
                            "f=FFFFFFFF\ng=123456789\nh=0x1Fg\n");
    EXPECT_EQ(ReadSettingHex("a", 7), 31u);
    EXPECT_EQ(ReadSettingHex("b", 7), 31u);
    EXPECT_EQ(ReadSettingHex("c", 7), 31u);
    EXPECT_EQ(ReadSettingHex("d", 7), 7u);
    EXPECT_EQ(ReadSettingHex("missing", 7), 7u);
    EXPECT_EQ(ReadSettingHex("e", 7), 0u);
    EXPECT_EQ(ReadSettingHex("f", 7), 0xFFFFFFFFu);
    EXPECT_EQ(ReadSettingHex("g", 7), 0x23456789u); // low 32 bits of a 64-bit value
    EXPECT_EQ(ReadSettingHex("h", 7), 31u);
}

TEST_F(SettingsFileTest, BooleanValues) {
    writeFile(box.exeIni(), "[refirm]\na=true\nb=True\nc=1\nd=2\ne=no\nf=FALSE\ng=0\n");
    EXPECT_EQ(ReadSettingBool("a"), 1);
    EXPECT_EQ(ReadSettingBool("b"), 1);
    EXPECT_EQ(ReadSettingBool("c"), 1);
    EXPECT_EQ(ReadSettingBool("d"), 1);
    EXPECT_EQ(ReadSettingBool("e"), 0);
    EXPECT_EQ(ReadSettingBool("f"), 0);
    EXPECT_EQ(ReadSettingBool("g"), 0);
    EXPECT_EQ(ReadSettingBool("missing"), 0);
}

TEST_F(SettingsFileTest, NamedBooleanFallsBackToNumbersAndDefaults) {
    writeFile(box.exeIni(), "[refirm]\nyes=tRUE\nnum=3\nzero=0\nword=maybe\nempty=\n");
    writeFile(box.cwdIni(), "[refirm]\nempty=True\n");
    EXPECT_EQ(ReadNamedBool("yes", false), 1);
    EXPECT_EQ(ReadNamedBool("num", false), 1);
    EXPECT_EQ(ReadNamedBool("zero", true), 0);
    EXPECT_EQ(ReadNamedBool("word", true), 0);
    EXPECT_EQ(ReadNamedBool("missing", true), 1);
    EXPECT_EQ(ReadNamedBool("missing", false), 0);
    // Present but empty in the executable's file: the current directory is asked.
    EXPECT_EQ(ReadNamedBool("empty", false), 1);
}

TEST_F(SettingsFileTest, WriteBooleanUsesTheApplicationSection) {
    const std::string profile = box.cwdDir.file("scanner.ini");
    ASSERT_TRUE(WriteNamedBool("UpgradeCompleted", true, profile));
    ASSERT_TRUE(WriteNamedBool("ShadingReplace", false, profile));
    EXPECT_EQ(readFile(profile), "[refirm]\r\nUpgradeCompleted=True\r\nShadingReplace=False\r\n");
    EXPECT_EQ(ReadNamedBool("UpgradeCompleted", false, profile), 1);
}

} // namespace
