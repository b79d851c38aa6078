#include "settings/loc_raw.h"

#include "settings/loc_test_files.h"

#include <gtest/gtest.h>

using testing_support::LocBytes;
using testing_support::Utf8;

namespace {

std::vector<std::string> allLines(std::vector<unsigned char> bytes) {
    CLocRaw raw(std::move(bytes));
    std::vector<std::string> lines;
    while (auto line = raw.nextLine())
        lines.push_back(*line);
    EXPECT_TRUE(raw.atEnd());
    EXPECT_FALSE(raw.nextLine()); // stays at the end
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LocRaw, ByteOrderMarkIsOptional) {
    const std::u16string text = u"1033=English\r\n\r\nEnglish=Error\r\n";
    const Lines expected = {"1033=English", "", "English=Error"};
    EXPECT_EQ(allLines(LocBytes(text, true)), expected);
    EXPECT_EQ(allLines(LocBytes(text, false)), expected);
}

TEST(LocRaw, CrLfAndLoneLfEndLinesButLoneCrDoesNot) {
    EXPECT_EQ(allLines(LocBytes(u"a\r\nb\nc\rd\r\n\r\n\ne")),
              (Lines{"a", "b", "c\rd", "", "", "e"}));
    EXPECT_EQ(allLines(LocBytes(u"last\r")), (Lines{"last\r"}));
    EXPECT_EQ(allLines(LocBytes(u"")), Lines{});
    EXPECT_EQ(allLines({}), Lines{});
}

TEST(LocRaw, ConvertsToUtf8) {
    EXPECT_EQ(allLines(LocBytes(u"Japanese=エラー é")), Lines{Utf8(u8"Japanese=エラー é")});
    // U+1F600 as a surrogate pair.
    EXPECT_EQ(allLines(LocBytes(u"x\xD83D\xDE00y")), Lines{"x\xF0\x9F\x98\x80y"});
}

TEST(LocRaw, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(allLines(LocBytes(u"a\xD83D"
                                u"b")),
              Lines{"a" + replacement + "b"});
    EXPECT_EQ(allLines(LocBytes(u"a\xDE00\xD83D")), Lines{"a" + replacement + replacement});
    // A high surrogate before a line end leaves the line end intact.
    EXPECT_EQ(allLines(LocBytes(u"a\xD83D\r\nb")), (Lines{"a" + replacement, "b"}));
}

TEST(LocRaw, DataEndsAtOddByteOrNulCharacter) {
    std::vector<unsigned char> odd = LocBytes(u"ab");
    odd.push_back('c');
    EXPECT_EQ(allLines(odd), Lines{"ab"});
    EXPECT_EQ(allLines({0xFF}), Lines{});
    EXPECT_EQ(allLines(LocBytes(std::u16string(u"one\r\ntw\0o\r\nthree", 16))),
              (Lines{"one", "tw"}));
}
