#include "platform/clock.h"
#include "platform/console_front_end.h"
#include "platform/front_end_test_dialog.h"
#include "platform/message_box.h"
#include "platform/system_info.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <thread>

using namespace platform;
using namespace front_end_test;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

// A console front end writing to a file and reading answers from another.
struct Console {
    explicit Console(const std::string& input = "",
                     ConsoleFrontEnd::Style style = ConsoleFrontEnd::Style::Detect, int width = 0) {
        writeFile(dir.file("in"), input);
        out = std::fopen(dir.file("out").c_str(), "w+b");
        in = std::fopen(dir.file("in").c_str(), "rb");
        frontEnd = std::make_shared<ConsoleFrontEnd>(out, in, style, width);
        SetFrontEnd(frontEnd);
    }
    ~Console() {
        SetFrontEnd(nullptr);
        frontEnd.reset();
        std::fclose(out);
        std::fclose(in);
    }
    std::string output() {
        std::fflush(out);
        return readFile(dir.file("out"));
    }

    ScratchDir dir;
    std::FILE* out = nullptr;
    std::FILE* in = nullptr;
    std::shared_ptr<ConsoleFrontEnd> frontEnd;
};

struct ConsoleFrontEndTest : testing::Test {
    void SetUp() override { SetManualClock(true); }
    void TearDown() override { SetManualClock(false); }
};

// The frames of a terminal drawing: the lines written between two clears.
std::vector<std::vector<std::string>> frames(const std::string& output) {
    std::vector<std::vector<std::string>> result;
    std::size_t start = 0;
    for (auto end = output.find("\x1b[J"); end != std::string::npos;
         end = output.find("\x1b[J", start)) {
        std::vector<std::string> frame;
        const std::string chunk = output.substr(start, end - start);
        for (auto at = chunk.find("\x1b[2K"); at != std::string::npos;
             at = chunk.find("\x1b[2K", at + 1)) {
            std::string line = chunk.substr(at + 4, chunk.find('\n', at) - at - 4);
            for (const char* style : {"\x1b[1m", "\x1b[0m"})
                for (auto s = line.find(style); s != std::string::npos; s = line.find(style))
                    line.erase(s, 4);
            frame.push_back(line);
        }
        result.push_back(frame);
        start = end + 3;
    }
    return result;
}

// A bar line: "<label>  [###.......]  30%  2458 / 8192".
struct BarLine {
    std::string label;
    int percent = 0, done = 0, total = 0;
};

std::optional<BarLine> parseBar(const std::string& line) {
    const auto open = line.find('[');
    const auto close = line.find("] ", open);
    const auto percent = line.find('%', close);
    const auto slash = line.find(" / ", percent);
    if (open == std::string::npos || close == std::string::npos || percent == std::string::npos ||
        slash == std::string::npos)
        return std::nullopt;
    BarLine bar;
    bar.label = line.substr(0, open);
    bar.label.erase(0, bar.label.find_first_not_of(' '));
    bar.label.erase(bar.label.find_last_not_of(' ') + 1);
    bar.percent = std::stoi(line.substr(close + 1, percent - close - 1));
    bar.done = std::stoi(line.substr(percent + 1, slash - percent - 1));
    bar.total = std::stoi(line.substr(slash + 3));
    return bar;
}

bool movesCursorUp(const std::string& text) {
    for (auto at = text.find("\x1b["); at != std::string::npos; at = text.find("\x1b[", at + 1)) {
        std::size_t i = at + 2;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > at + 2 && i < text.size() && text[i] == 'A')
            return true;
    }
    return false;
}

} // namespace

TEST(ConsoleText, WidthCountsWideCharactersAndCutsWholeOnes) {
    EXPECT_EQ(DisplayWidth("Loading"), 7);
    EXPECT_EQ(DisplayWidth("書き込み中"), 10);
    EXPECT_EQ(DisplayWidth("ｶﾀｶﾅ"), 4);      // half-width katakana
    EXPECT_EQ(DisplayWidth("e\xcc\x81"), 1); // e and a combining accent
    EXPECT_EQ(DisplayWidth("a\xff"
                           "b"),
              3); // a stray byte takes a column
    EXPECT_EQ(CutToWidth("書き込み中", 5), "書き");
    EXPECT_EQ(CutToWidth("ab書", 3), "ab");
    EXPECT_EQ(CutToWidth("Status", 99), "Status");
}

TEST_F(ConsoleFrontEndTest, LinesOutputWritesABarOnlyAtEachTenth) {
    Console console;
    EXPECT_FALSE(console.frontEnd->terminal()); // a file
    MovingBarsDialog dialog(100, 100, 8192);
    EXPECT_EQ(dialog.DoModal(), 1);

    const auto got = lines(console.output());
    ASSERT_EQ(got.size(), 2u + 20u);
    EXPECT_EQ(got[0], "== Firmware upgrade ==");
    EXPECT_EQ(got[1], "  Do not switch the scanner off.");
    EXPECT_EQ(got[10], "  Loading Status  [#####.....]  50%  4096 / 8192");
    EXPECT_EQ(got[21], "  Total           [##########] 100%  100 / 100");
    // Each bar passes every tenth once, and its line shows the counter of that
    // moment, not the one of the step before.
    std::map<std::string, std::vector<int>> tenths;
    for (std::size_t i = 2; i < got.size(); ++i) {
        const auto bar = parseBar(got[i]);
        ASSERT_TRUE(bar) << got[i];
        EXPECT_EQ(bar->percent, bar->done * 100 / bar->total) << got[i];
        tenths[bar->label].push_back(bar->percent / 10);
    }
    const std::vector<int> once = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(tenths["Loading Status"], once);
    EXPECT_EQ(tenths["Total"], once);
}

TEST_F(ConsoleFrontEndTest, LinesOutputFollowsTextsLabelsAndRestartedBars) {
    Console console;
    MovingBarsDialog dialog(100, 10, 10);
    dialog.onTick = [](MovingBarsDialog& d, int tick) {
        d.SetDlgItemTextA(1040, tick < 3 ? "Do not switch the scanner off." : "Writing\nblock");
        if (tick == 5)
            d.SetDlgItemTextA(kBlockLabel, "Verifying"); // the bar is written at once
        if (tick == 6) {
            d.SetRange(kBlockBar, 0, 1000); // a new phase starts from nothing
            d.SetPos(kBlockBar, 0);
            d.SetDlgItemTextA(kBlockCounter, "0 / 1000");
        }
        if (tick == 9)
            d.EndDialog(3); // the last position is written even off a tenth
    };
    EXPECT_EQ(dialog.DoModal(), 3);
    const std::string output = console.output();
    // The block bar shows tick / 10 until tick 6; the total bar tick / 10.
    const std::string expected = "== Firmware upgrade ==\n"
                                 "  Do not switch the scanner off.\n"
                                 "  Loading Status  [#.........]  10%  1 / 10\n"
                                 "  Total           [#.........]  10%  1 / 10\n"
                                 "  Loading Status  [##........]  20%  2 / 10\n"
                                 "  Total           [##........]  20%  2 / 10\n"
                                 "  Loading Status  [###.......]  30%  3 / 10\n"
                                 "  Total           [###.......]  30%  3 / 10\n"
                                 "  Writing\n"
                                 "  block\n"
                                 "  Loading Status  [####......]  40%  4 / 10\n"
                                 "  Total           [####......]  40%  4 / 10\n"
                                 "  Loading Status  [#####.....]  50%  5 / 10\n"
                                 "  Total           [#####.....]  50%  5 / 10\n"
                                 "  Verifying       [#####.....]  50%  5 / 10\n"
                                 "  Verifying       [######....]  60%  6 / 10\n"
                                 "  Total           [######....]  60%  6 / 10\n"
                                 "  Total           [#######...]  70%  7 / 10\n"
                                 "  Total           [########..]  80%  8 / 10\n"
                                 "  Total           [#########.]  90%  9 / 10\n"
                                 "  Verifying       [..........]   0%  9 / 10\n";
    EXPECT_EQ(output, expected);
}

TEST_F(ConsoleFrontEndTest, LinesOutputIndentsANestedDialogAndNamesTheOuterAgain) {
    Console console;
    MovingBarsDialog outer(100, 2, 2);
    MovingBarsDialog inner(200, 1, 1);
    outer.onTick = [&](MovingBarsDialog&, int tick) {
        if (tick == 1) {
            inner.SetWindowTextA("Restarting the scanner");
            inner.DoModal();
        }
    };
    outer.DoModal();
    const auto got = lines(console.output());
    const std::vector<std::string> expected = {
        "== Firmware upgrade ==",
        "  Do not switch the scanner off.",
        "  Loading Status  [#####.....]  50%  1 / 2",
        "  Total           [#####.....]  50%  1 / 2",
        "    == Restarting the scanner ==",
        "      Do not switch the scanner off.",
        "      Loading Status  [##########] 100%  1 / 1",
        "      Total           [##########] 100%  1 / 1",
        "== Firmware upgrade ==",
        "  Loading Status  [##########] 100%  2 / 2",
        "  Total           [##########] 100%  2 / 2",
    };
    EXPECT_EQ(got, expected);
}

TEST_F(ConsoleFrontEndTest, TerminalRedrawsInPlaceAboutTenTimesASecond) {
    Console console("", ConsoleFrontEnd::Style::Terminal, 50);
    // 100 steps of 10 ms: a second of the clock.
    MovingBarsDialog dialog(100, 100, 8192, 10);
    dialog.DoModal();
    const std::string output = console.output();
    const auto drawn = frames(output);
    // On opening and during initialisation, ten a second, and on closing.
    EXPECT_GE(drawn.size(), 10u);
    EXPECT_LE(drawn.size(), 18u);
    // Lines fit, and no frame shows a bar moved ahead of its counter.
    for (const auto& frame : drawn) {
        for (const auto& line : frame) {
            EXPECT_LE(DisplayWidth(line), 49) << line;
            const auto bar = parseBar(line);
            if (bar && bar->total > 0) {
                EXPECT_EQ(bar->percent, bar->done * 100 / bar->total) << line;
            }
        }
    }
    // Every drawing after the first goes back over the one before.
    const std::size_t height = drawn.front().size();
    EXPECT_EQ(count(output, "\r\x1b[" + std::to_string(height) + "A"), drawn.size() - 1);

    const std::vector<std::string> last = {
        "Firmware upgrade", "  Do not switch the scanner off.",
        "  Loading Status", "  [###########################] 100%  8192 / 8192",
        "  Total",          "  [###########################] 100%    100 / 100",
    };
    EXPECT_EQ(drawn.back(), last);
}

TEST_F(ConsoleFrontEndTest, TerminalFitsLongAndJapaneseTextsToTheWidth) {
    Console console("", ConsoleFrontEnd::Style::Terminal, 24);
    MovingBarsDialog outer(100, 1, 1);
    MovingBarsDialog inner(200, 1, 1);
    outer.onTick = [&](MovingBarsDialog& d, int) {
        d.SetDlgItemTextA(1040, "スキャナーの電源を切らないでください。");
        d.SetDlgItemTextA(kBlockLabel, "ファームウェアを書き込んでいます");
        inner.DoModal();
    };
    outer.DoModal();
    const auto drawn = frames(console.output());
    bool nested = false;
    for (const auto& frame : drawn) {
        for (const auto& line : frame) {
            EXPECT_LE(DisplayWidth(line), 23) << line;
            nested = nested || line.rfind("    Firmware upgrade", 0) == 0;
        }
    }
    EXPECT_TRUE(nested); // the inner dialog is drawn indented below the outer
    // The long text is wrapped, the label cut, at whole characters.
    const std::string all = console.output();
    EXPECT_NE(all.find("  スキャナーの電源を切\n"), std::string::npos);
    EXPECT_NE(all.find("  らないでください。\n"), std::string::npos);
    EXPECT_NE(all.find("  ファームウェアを書き\n"), std::string::npos);
}

TEST_F(ConsoleFrontEndTest, BoxesAreAnsweredFromTheInput) {
    Console console("y\nYES\nn\n\nmaybe\n");
    const unsigned yesNo = MB_YESNO | MB_ICONQUESTION;
    EXPECT_EQ(MessageBoxA("Write the firmware?", "Refirm", yesNo | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(MessageBoxA("Again?", "Refirm", yesNo | MB_DEFBUTTON2), IDYES);
    // OK boxes take no input.
    EXPECT_EQ(MessageBoxA("Line one\nline two", "Refirm", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA("Low battery", "Refirm", MB_ICONWARNING), IDOK);
    EXPECT_EQ(MessageBoxA("Done", "", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA("Continue?", "Refirm", yesNo), IDNO);
    // An empty line, an answer it does not know, the end of input: the default.
    EXPECT_EQ(MessageBoxA("Continue?", "Refirm", yesNo), IDYES);
    EXPECT_EQ(MessageBoxA("Continue?", "Refirm", yesNo | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA("Continue?", "Refirm", yesNo | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA("Continue?", "Refirm", MB_YESNO | MB_ICONINFORMATION), IDYES);
    EXPECT_EQ(console.output(), "[Question] Refirm\n  Write the firmware?\n  [y/N] yes\n\n"
                                "[Question] Refirm\n  Again?\n  [y/N] yes\n\n"
                                "[Error] Refirm\n  Line one\n  line two\n\n"
                                "[Warning] Refirm\n  Low battery\n\n"
                                "  Done\n\n"
                                "[Question] Refirm\n  Continue?\n  [Y/n] no\n\n"
                                "[Question] Refirm\n  Continue?\n  [Y/n] yes\n\n"
                                "[Question] Refirm\n  Continue?\n  [y/N] no\n\n"
                                "[Question] Refirm\n  Continue?\n  [y/N] no\n\n"
                                "[Information] Refirm\n  Continue?\n  [Y/n] yes\n");
}

TEST_F(ConsoleFrontEndTest, ABoxDuringATerminalDrawingIsWrittenBelowIt) {
    Console console("y\n", ConsoleFrontEnd::Style::Terminal, 60);
    MovingBarsDialog dialog(100, 4, 4);
    int answer = 0;
    dialog.onTick = [&](MovingBarsDialog&, int tick) {
        if (tick == 2)
            answer = MessageBoxA("Go on?", "Refirm", MB_YESNO | MB_ICONQUESTION);
    };
    dialog.DoModal();
    EXPECT_EQ(answer, IDYES);
    const std::string output = console.output();
    const auto box = output.find("Go on?");
    ASSERT_NE(box, std::string::npos);
    // The drawing before the box shows the state it was asked in, and the
    // next one starts below the box instead of going back over it.
    const std::string before = output.substr(0, box);
    EXPECT_NE(before.rfind("2 / 4"), std::string::npos);
    const std::string after = output.substr(box);
    const auto next = after.find("\x1b[2K");
    ASSERT_NE(next, std::string::npos);
    EXPECT_FALSE(movesCursorUp(after.substr(0, next)));
    EXPECT_NE(after.find("4 / 4"), std::string::npos);
}

TEST_F(ConsoleFrontEndTest, FileDialogMakesTheChosenPathAbsolute) {
    Console console("fw/new\n/abs/image.bin\n   \n\n");
    const std::string cwd = GetCurrentDirectoryA();
    OpenFileRequest request{"MOT", "", "Firmware images (*.MOT)|*.MOT|All files|*.*||",
                            "Open the firmware"};
    EXPECT_EQ(ShowOpenFileDialog(request), cwd + "/fw/new.MOT");
    EXPECT_EQ(ShowOpenFileDialog(request), "/abs/image.bin");
    request.initialName = "A";
    EXPECT_EQ(ShowOpenFileDialog(request), cwd + "/A.MOT"); // blank: the initial name
    request.initialName.clear();
    EXPECT_EQ(ShowOpenFileDialog(request), std::nullopt); // empty without one: cancelled
    request.initialName = "A.MOT";
    EXPECT_EQ(ShowOpenFileDialog(request), std::nullopt); // end of input: cancelled

    const auto got = lines(console.output());
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0], "Open the firmware");
    EXPECT_EQ(got[1], "  Files: Firmware images (*.MOT)");
    EXPECT_EQ(got[2], "  Files: All files (*.*)");
    EXPECT_EQ(got[3], "  Path (empty: cancel): " + cwd + "/fw/new.MOT");
    EXPECT_EQ(got.back(), "  Path [A.MOT]: (cancelled)");
}

TEST_F(ConsoleFrontEndTest, ABoxFromAWorkerStaysInOnePiece) {
    Console console("y\ny\ny\n");
    MovingBarsDialog dialog(100, 200, 200, 1);
    std::vector<std::thread> workers;
    std::vector<int> answers(3, 0);
    dialog.onTick = [&](MovingBarsDialog&, int tick) {
        if (tick % 50 == 0 && workers.size() < 3) {
            const std::size_t n = workers.size();
            workers.emplace_back([&answers, n] {
                answers[n] = MessageBoxA("Go on?", "Worker", MB_YESNO | MB_DEFBUTTON2);
            });
        }
    };
    dialog.DoModal();
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(answers, (std::vector<int>{IDYES, IDYES, IDYES}));
    const auto got = lines(console.output());
    int boxes = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] != "Worker")
            continue;
        ++boxes;
        ASSERT_LT(i + 2, got.size());
        EXPECT_EQ(got[i + 1], "  Go on?");
        EXPECT_EQ(got[i + 2], "  [y/N] yes");
    }
    EXPECT_EQ(boxes, 3) << console.output();
}
