#include "settings/loc_text.h"

#include "settings/loc_test_files.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using testing_support::LocBytes;
using testing_support::LocFileContent;
using testing_support::Utf8;

namespace {

constexpr platform::LANGID kEnglishUs = 1033;
constexpr platform::LANGID kJapanese = 1041;

std::unique_ptr<CLocText> tableOf(const std::u16string& text) {
    auto table = std::make_unique<CLocText>();
    table->loadBytes(LocBytes(text));
    return table;
}

const std::u16string kJapaneseFile = u"; Test messages\r\n"
                                     u"1033=English\r\n"
                                     u"1041=Japanese\r\n"
                                     u"\r\n"
                                     u"English=Error\r\n"
                                     u"; a comment does not end the block\r\n"
                                     u"Japanese=エラー\r\n"
                                     u"\r\n"
                                     u"English=Error\r\n"
                                     u"Japanese=second block\r\n"
                                     u"\r\n"
                                     u"English=Line one.\\nLine two.\r\n"
                                     u"Japanese=一行目\\n二行目\r\n"
                                     u"\r\n"
                                     u"English=Empty\r\n"
                                     u"Japanese=\r\n"
                                     u"\r\n"
                                     u"English=Ends early\r\n"
                                     u"\r\n"
                                     u"Japanese=beyond the block\r\n"
                                     u"\r\n"
                                     u"English=Equals\r\n"
                                     u"Japanese x=not this\r\n"
                                     u"Japanese=a=b\r\n";

} // namespace

TEST(LocText, StoresNonCommentLinesWithEscapesReplaced) {
    auto table = tableOf(u"'quoted comment\r\n;semicolon comment\r\n\r\n"
                         u" ;not a comment\r\n"
                         u"a\\nb\\tc\\\"d\\x\\\\n\r\n");
    EXPECT_EQ(table->lines(),
              (std::vector<std::string>{"", " ;not a comment", "a\nb\tc\"d\\x\\\n"}));
}

TEST(LocText, LanguageTableRunsFromEnglishLineToFirstBlankLine) {
    auto table = tableOf(u"2052=Chinese\r\n"
                         u"1033=English\r\n"
                         u"abc=Nothing\r\n"
                         u"0=Zero\r\n"
                         u"no equals sign\r\n"
                         u"1041=Japanese\r\n"
                         u"\r\n"
                         u"1031=German\r\n");
    EXPECT_EQ(table->languageIds(), (std::vector<int>{1033, 1041}));
    EXPECT_EQ(table->languageNames(), (std::vector<std::string>{"English", "Japanese"}));
}

TEST(LocText, LanguageNameFallsBackToDefaultSubLanguageThenPrimaryLanguage) {
    auto table = tableOf(u"1033=English\r\n2055=Swiss\r\n1031=German\r\n3079=Austrian\r\n\r\n");
    EXPECT_EQ(table->languageName(2057), "English"); // en-GB via 1033
    EXPECT_EQ(table->languageName(3081), "English"); // en-AU via 1033
    EXPECT_EQ(table->languageName(3079), "Austrian");
    EXPECT_EQ(table->languageName(5127), "German"); // de-LI: 1031 before the earlier 2055

    auto noDefault = tableOf(u"1033=English\r\n2055=Swiss\r\n3079=Austrian\r\n\r\n");
    EXPECT_EQ(noDefault->languageName(1031), "Swiss"); // first of the same primary language
    EXPECT_EQ(noDefault->languageName(kJapanese), std::nullopt);
}

TEST(LocText, TranslatesByBlock) {
    auto table = tableOf(kJapaneseFile);
    EXPECT_EQ(table->translate("Error", kJapanese), Utf8(u8"エラー"));
    EXPECT_EQ(table->translatedLength("Error", kJapanese), Utf8(u8"エラー").size());
    EXPECT_EQ(table->translate("Line one.\nLine two.", kJapanese), Utf8(u8"一行目\n二行目"));
    EXPECT_EQ(table->translate("Equals", kJapanese), "a=b");

    EXPECT_EQ(table->translate("Empty", kJapanese), "Empty");
    EXPECT_EQ(table->translate("Ends early", kJapanese), "Ends early");
    EXPECT_EQ(table->translate("Not in the file", kJapanese), "Not in the file");
    EXPECT_EQ(table->translate("error", kJapanese), "error");
    EXPECT_EQ(table->translate("Error", kEnglishUs), "Error");
    EXPECT_EQ(table->translate("Error", 2057), "Error");
    EXPECT_EQ(table->translatedLength("Error", kEnglishUs), 5u);
}

TEST(LocText, FileWithoutEnglishLanguageLineGivesEnglish) {
    auto table = tableOf(u"1041=Japanese\r\n\r\nEnglish=Error\r\nJapanese=エラー\r\n");
    EXPECT_TRUE(table->languageIds().empty());
    EXPECT_EQ(table->translate("Error", kJapanese), "Error");
}

TEST(LocText, LoadsFirstReadableCandidateAndRetriesUntilLinesAreIn) {
    testing_support::ScratchDir dir;
    const std::string first = dir.file("first.LOC");
    const std::string second = dir.file("second.LOC");
    const std::string comments = dir.file("comments.LOC");
    CLocText table({comments, dir.file("missing.LOC"), first, second});
    testing_support::writeFile(second, LocFileContent(u"1033=English\r\n1041=Japanese\r\n\r\n"
                                                      u"English=Error\r\nJapanese=second\r\n"));

    // A file with nothing but comments stops the search, yet brings no line.
    testing_support::writeFile(comments, LocFileContent(u"; nothing yet\r\n"));
    EXPECT_EQ(table.translate("Error", kJapanese), "Error");
    EXPECT_FALSE(table.isLoaded());

    std::filesystem::remove(comments);
    testing_support::writeFile(first, LocFileContent(u"1033=English\r\n1041=Japanese\r\n\r\n"
                                                     u"English=Error\r\nJapanese=first\r\n"));
    EXPECT_EQ(table.translate("Error", kJapanese), "first");

    // Loaded once; a changed file is not read again.
    testing_support::writeFile(first, LocFileContent(u"1033=English\r\n"));
    EXPECT_EQ(table.translate("Error", kJapanese), "first");
}

namespace {

class FakeWindow : public CLocWindow {
public:
    explicit FakeWindow(std::string text) : text_(std::move(text)) {}

    std::string windowText() const override { return text_; }
    void setWindowText(const std::string& text) override {
        text_ = text;
        ++writes;
    }
    std::size_t childCount() const override { return children.size(); }
    CLocWindow& child(std::size_t index) override { return *children.at(index); }

    FakeWindow& add(std::string text) {
        children.push_back(std::make_unique<FakeWindow>(std::move(text)));
        return *children.back();
    }

    std::string text_;
    int writes = 0;
    std::vector<std::unique_ptr<FakeWindow>> children;
};

} // namespace

TEST(LocText, TranslateDialogCoversCaptionAndDirectChildren) {
    auto table = tableOf(u"1033=English\r\n1041=Japanese\r\n\r\n"
                         u"English=Firmware Upgrade\r\nJapanese=ファームウェア更新\r\n\r\n"
                         u"English=OK\r\nJapanese=了解\r\n\r\n"
                         u"English=Cancel\r\nJapanese=取消\r\n");
    FakeWindow dialog("Firmware Upgrade");
    dialog.add("OK");
    FakeWindow& empty = dialog.add("");
    dialog.add("Unknown");
    FakeWindow& group = dialog.add("Cancel");
    FakeWindow& grandchild = group.add("OK");

    table->translateDialog(dialog, kJapanese);

    EXPECT_EQ(dialog.text_, Utf8(u8"ファームウェア更新"));
    EXPECT_EQ(dialog.children[0]->text_, Utf8(u8"了解"));
    EXPECT_EQ(empty.writes, 0);
    EXPECT_EQ(dialog.children[2]->text_, "Unknown");
    EXPECT_EQ(group.text_, Utf8(u8"取消"));
    EXPECT_EQ(grandchild.text_, "OK");
}
