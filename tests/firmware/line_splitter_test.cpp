#include "firmware/line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> linesOf(const std::vector<std::string_view>& pieces) {
    CLineSplitter splitter;
    std::vector<std::string> lines;
    const auto take = [&](std::string_view line) { lines.emplace_back(line); };
    for (std::string_view piece : pieces)
        splitter.feed(piece, take);
    splitter.finish(take);
    return lines;
}

} // namespace

TEST(LineSplitter, LineEndsAsATextModeReadHasThem) {
    EXPECT_EQ(linesOf({"a\r\nb\n\r\nc\rd\r\n"}), (std::vector<std::string>{"a", "b", "", "c\rd"}));
    EXPECT_EQ(linesOf({"last without end"}), (std::vector<std::string>{"last without end"}));
    EXPECT_EQ(linesOf({"x\r"}), (std::vector<std::string>{"x\r"})); // no LF: the CR stays
    EXPECT_EQ(linesOf({""}), (std::vector<std::string>{}));
    EXPECT_EQ(linesOf({"\n"}), (std::vector<std::string>{""}));
    EXPECT_EQ(linesOf({"a\r\n\x1A"
                       "b\r\n"}),
              (std::vector<std::string>{"a"}));
    EXPECT_EQ(linesOf({"a\x1A", "b\n"}), (std::vector<std::string>{"a"}));
}

// However the text is cut into pieces, the lines are those of the whole.
TEST(LineSplitter, EveryCutGivesTheLinesOfTheWhole) {
    const std::string text = "S1\r\n\r\nlong line\n\rx\r\r\n\nend\x1A"
                             "after\n";
    const auto whole = linesOf({text});
    for (std::size_t a = 0; a <= text.size(); ++a)
        for (std::size_t b = a; b <= text.size(); ++b) {
            const std::string_view all(text);
            EXPECT_EQ(linesOf({all.substr(0, a), all.substr(a, b - a), all.substr(b)}), whole)
                << a << " " << b;
        }
    std::vector<std::string_view> single;
    for (std::size_t i = 0; i < text.size(); ++i)
        single.push_back(std::string_view(text).substr(i, 1));
    EXPECT_EQ(linesOf(single), whole);
}
