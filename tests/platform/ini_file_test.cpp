#include "platform/ini_file.h"
#include "platform/ini_text.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

using namespace testing_support;
// The program's own INI reader and writer (on Linux the private-profile
// functions themselves).
constexpr auto GetPrivateProfileIntA = platform::ini_text::GetInt;
constexpr auto GetPrivateProfileStringA = platform::ini_text::GetString;
constexpr auto WritePrivateProfileStringA = platform::ini_text::WriteString;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string ini = dir.file("settings.ini");

    std::string read(const std::string& section, const std::string& key,
                     const std::string& def = "<def>", std::size_t size = 256) {
        return GetPrivateProfileStringA(section, key, def, size, ini);
    }
};

TEST_F(IniFileTest, MatchesSectionsAndKeysIgnoringCaseAndTrimsBlanks) {
    writeFile(ini, "; comment\r\n[Refirm]\r\n  NewFirmwareVersion1 =  1.23  \r\n"
                   "[other]\r\nkey=x\r\n");
    EXPECT_EQ(read("REFIRM", "newfirmwareversion1"), "1.23");
    EXPECT_EQ(read("refirm", "NewFirmwareVersion1"), "1.23");
    EXPECT_EQ(read("Other", "KEY"), "x");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(read("Refirm", "Key"), "<def>");
    writeFile(ini, "[Refirm]\nKey=1\nNoValueLine\n");
    EXPECT_EQ(read("Elsewhere", "Key"), "<def>");
    EXPECT_EQ(read("Refirm", "Other"), "<def>");
    EXPECT_EQ(read("Refirm", "NoValueLine"), "<def>");
    // Keys before any section belong to none.
    writeFile(ini, "Key=1\n[Refirm]\n");
    EXPECT_EQ(read("Refirm", "Key"), "<def>");
}

TEST_F(IniFileTest, ValuesAreCutToTheBufferAndQuotesRemoved) {
    writeFile(ini, "[s]\nlong=abcdefghij\nquoted=\" a b \"\nempty=\n");
    EXPECT_EQ(read("s", "long", "", 5), "abcd");
    EXPECT_EQ(read("s", "quoted"), " a b ");
    EXPECT_EQ(read("s", "empty"), "");
    EXPECT_EQ(read("s", "missing", "default   "), "default");
}

TEST_F(IniFileTest, FirstOccurrenceOfAKeyWins) {
    writeFile(ini, "[s]\nk=first\nk=second\n[s]\nk=third\n");
    EXPECT_EQ(read("s", "k"), "first");
}

TEST_F(IniFileTest, IntegerReadStopsAtFirstNonDigit) {
    writeFile(ini, "[s]\na=12abc\nb=abc\nc= -7\nd=\ne=0x10\n");
    EXPECT_EQ(GetPrivateProfileIntA("s", "a", 99, ini), 12);
    EXPECT_EQ(GetPrivateProfileIntA("s", "b", 99, ini), 0);
    EXPECT_EQ(GetPrivateProfileIntA("s", "c", 99, ini), -7);
    EXPECT_EQ(GetPrivateProfileIntA("s", "d", 99, ini), 99);
    EXPECT_EQ(GetPrivateProfileIntA("s", "e", 99, ini), 0);
    EXPECT_EQ(GetPrivateProfileIntA("s", "missing", 99, ini), 99);
}

TEST_F(IniFileTest, WriteCreatesFileAndSection) {
    ASSERT_TRUE(WritePrivateProfileStringA("Refirm", "UpgradeCompleted", "True", ini));
    EXPECT_EQ(readFile(ini), "[Refirm]\r\nUpgradeCompleted=True\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "A", "1", ini));
    EXPECT_EQ(readFile(ini), "[Refirm]\r\nUpgradeCompleted=True\r\n[Other]\r\nA=1\r\n");
}

TEST_F(IniFileTest, WriteKeepsTheRestOfTheFile) {
    writeFile(ini, "; keep me\n[One]\nA=1\n\n[Two]\nB=2\nC=3\n");
    ASSERT_TRUE(WritePrivateProfileStringA("two", "b", "20", ini));
    ASSERT_TRUE(WritePrivateProfileStringA("ONE", "New", "x", ini));
    EXPECT_EQ(readFile(ini), "; keep me\n[One]\nA=1\nNew=x\n\n[Two]\nB=20\nC=3\n");
}

// A file whose last line ends in a CR without LF: what is written after that
// line must not join it.
TEST_F(IniFileTest, WriteAfterALastLineEndingInALoneCr) {
    writeFile(ini, "\r");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", ini));
    EXPECT_EQ(readFile(ini), "\r\n[s]\r\nk=v\r\n");
    EXPECT_EQ(read("s", "k"), "v");

    writeFile(ini, "[s]\nA=1\nB=2\r");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "C", "3", ini));
    ASSERT_TRUE(WritePrivateProfileStringA("t", "D", "4", ini));
    EXPECT_EQ(readFile(ini), "[s]\nA=1\nB=2\r\nC=3\n[t]\nD=4\n");
    EXPECT_EQ(read("s", "B"), "2");
    EXPECT_EQ(read("s", "C"), "3");
    EXPECT_EQ(read("t", "D"), "4");
}

TEST_F(IniFileTest, WriteIntoUnwritablePlaceFails) {
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", dir.file("missing/dir/x.ini")));
}

} // namespace
