#include "platform/clock.h"
#include "platform/front_end_test_dialog.h"
#include "platform/message_box.h"
#include "platform/scripted_front_end.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

using namespace platform;
using namespace front_end_test;

namespace {

struct ScriptedFrontEndTest : testing::Test {
    void SetUp() override { SetManualClock(true); }
    void TearDown() override {
        SetFrontEnd(nullptr);
        SetManualClock(false);
    }
};

} // namespace

TEST(ScriptedFrontEndScript, ReadsAnswersCommentsAndBlankLines) {
    const auto answers = ScriptedFrontEnd::ParseScript("# the upgrade run\n"
                                                       "YES\n"
                                                       "\n"
                                                       "  no   # refuse the second box\n"
                                                       "ok\r\n"
                                                       "file /fw/image#2.MOT\n"
                                                       "File  relative dir/x.mot  \n"
                                                       "cancel");
    EXPECT_EQ(answers, (std::vector<std::string>{"yes", "no", "ok", "file /fw/image#2.MOT",
                                                 "file relative dir/x.mot", "cancel"}));
}

TEST(ScriptedFrontEndScript, NamesTheLineItCannotRead) {
    const auto errorOf = [](const std::string& script) -> std::string {
        try {
            ScriptedFrontEnd::ParseScript(script);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(errorOf("yes\n# fine\nmaybe\n").find("line 3"), std::string::npos);
    EXPECT_NE(errorOf("yes\n# fine\nmaybe\n").find("maybe"), std::string::npos);
    EXPECT_NE(errorOf("file\n").find("line 1"), std::string::npos);
    EXPECT_NE(errorOf("no\nyes please\n").find("line 2"), std::string::npos);
    EXPECT_THROW(ScriptedFrontEnd::FromScript("ok\nfile"), std::runtime_error);
    ScriptedFrontEnd frontEnd;
    EXPECT_THROW(frontEnd.addAnswer("perhaps"), std::runtime_error);
    EXPECT_THROW(frontEnd.addAnswer(""), std::runtime_error);
    EXPECT_EQ(frontEnd.unusedAnswers(), 0u);
}

TEST_F(ScriptedFrontEndTest, AnswersBoxesAndFileDialogsInTheirOrder) {
    auto frontEnd = ScriptedFrontEnd::FromScript("no\nfile /fw/A.MOT\nyes\ncancel\nok\nyes\n");
    SetFrontEnd(frontEnd);
    OpenFileRequest request{"MOT", "A.MOT", "Firmware|*.MOT||", "Choose the image"};
    // A file answer between box answers does not disturb the boxes, and the
    // other way round.
    EXPECT_EQ(MessageBoxA("Write?", "Refirm", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA("Again?", "Refirm", MB_YESNO | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(ShowOpenFileDialog(request), std::optional<std::string>("/fw/A.MOT"));
    EXPECT_EQ(ShowOpenFileDialog(request), std::nullopt);
    // "ok" on a Yes/No box is its default button; an OK box is IDOK whatever the answer.
    EXPECT_EQ(MessageBoxA("Sure?", "Refirm", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA("Done", "Refirm", MB_OK), IDOK);
    EXPECT_EQ(frontEnd->unusedAnswers(), 0u);

    // Run out: the default button, a cancelled file dialog.
    EXPECT_EQ(MessageBoxA("More?", "Refirm", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA("More?", "Refirm", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(ShowOpenFileDialog(request), std::nullopt);

    const auto boxes = frontEnd->boxes();
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[0].caption, "Refirm");
    EXPECT_EQ(boxes[0].text, "Write?");
    EXPECT_EQ(boxes[0].type, unsigned{MB_YESNO});
    EXPECT_EQ(boxes[0].answer, IDNO);
    EXPECT_EQ(boxes[5].answer, IDNO);
    const auto requests = frontEnd->fileRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].title, "Choose the image");
    EXPECT_EQ(requests[0].defaultExtension, "MOT");
}

TEST_F(ScriptedFrontEndTest, RecordsWhatTheDialogsShowed) {
    auto frontEnd = std::make_shared<ScriptedFrontEnd>();
    SetFrontEnd(frontEnd);
    MovingBarsDialog dialog(100, 4, 8192);
    dialog.onTick = [](MovingBarsDialog& d, int tick) {
        d.SetDlgItemTextA(kBlockCounter, d.GetDlgItemTextA(kBlockCounter)); // unchanged
        if (tick == 2)
            d.SetDlgItemTextA(kBlockLabel, "Verifying");
    };
    EXPECT_EQ(dialog.DoModal(), 1);

    EXPECT_EQ(frontEnd->textsOf(100, kBlockCounter),
              (std::vector<std::string>{"0 / 0", "0 / 8192", "2048 / 8192", "4096 / 8192",
                                        "6144 / 8192", "8192 / 8192"}));
    EXPECT_EQ(frontEnd->textsOf(100, kBlockLabel),
              (std::vector<std::string>{"Loading Status", "Verifying"}));
    EXPECT_TRUE(frontEnd->textsOf(100, 9999).empty());
    EXPECT_TRUE(frontEnd->textsOf(101, kBlockLabel).empty());

    const auto bar = frontEnd->lastStateOf(100, kBlockBar);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->position, 8192);
    EXPECT_EQ(bar->rangeHigh, 8192);
    EXPECT_FALSE(frontEnd->lastStateOf(100, 9999));

    const auto events = frontEnd->events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().kind, ScriptedFrontEnd::Event::Kind::Opened);
    EXPECT_EQ(events.front().title, "Firmware upgrade");
    EXPECT_EQ(events.front().depth, 1);
    EXPECT_EQ(events.back().kind, ScriptedFrontEnd::Event::Kind::Closed);
    EXPECT_EQ(events.back().result, 1);
    // A change nobody could see is no event: each tick moves two bars and two
    // counters (the unchanged counter text adds nothing), init sets four things.
    EXPECT_EQ(events.size(), 1u + 4u + 4u * 4u + 1u + 1u);
}

TEST_F(ScriptedFrontEndTest, RecordIsOneLineAnEventInTheOrderTheyHappened) {
    auto frontEnd = ScriptedFrontEnd::FromScript("no\n");
    SetFrontEnd(frontEnd);
    MovingBarsDialog outer(100, 2, 2);
    MovingBarsDialog inner(200, 1, 1);
    outer.onTick = [&](MovingBarsDialog& d, int tick) {
        if (tick == 1) {
            MessageBoxA("Continue?\nThe scanner restarts.", "Refirm", MB_YESNO | MB_ICONQUESTION);
            inner.DoModal();
            d.SetWindowTextA("Almost done");
        }
    };
    outer.DoModal();
    testing_support::ScratchDir dir;
    const std::string path = dir.file("record.txt");
    frontEnd->writeRecord(path);
    EXPECT_EQ(testing_support::readFile(path), frontEnd->record());

    const std::vector<std::string> expected = {
        "open 100 Firmware upgrade",
        "text 100 1040 Do not switch the scanner off.",
        "text 100 1043 Loading Status",
        "text 100 1042 0 / 0",
        "progress 100 1041 0/100",
        "text 100 1044 Total",
        "text 100 1045 0 / 0",
        "progress 100 1046 0/100",
        "text 100 2 Cancel",
        "progress 100 1041 0/2",
        "progress 100 1046 0/2",
        "text 100 1042 0 / 2",
        "text 100 1045 0 / 2",
        "progress 100 1041 1/2",
        "text 100 1042 1 / 2",
        "progress 100 1046 1/2",
        "text 100 1045 1 / 2",
        "box Refirm | Continue?\\nThe scanner restarts.",
        "open 200 Firmware upgrade",
    };
    const auto got = lines(frontEnd->record());
    ASSERT_GT(got.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + expected.size()), expected);
    // The inner dialog closes before the outer one changes its title and ends.
    const auto at = [&](const std::string& line) {
        return std::find(got.begin(), got.end(), line) - got.begin();
    };
    EXPECT_LT(at("close 200 1"), at("title 100 Almost done"));
    EXPECT_LT(at("title 100 Almost done"), at("progress 100 1041 2/2"));
    EXPECT_EQ(got.back(), "close 100 1");

    const auto events = frontEnd->events();
    const auto innerOpen =
        std::find_if(events.begin(), events.end(),
                     [](const ScriptedFrontEnd::Event& e) { return e.templateId == 200; });
    ASSERT_NE(innerOpen, events.end());
    EXPECT_EQ(innerOpen->depth, 2);
    EXPECT_EQ(frontEnd->textsOf(200, kTotalCounter),
              (std::vector<std::string>{"0 / 0", "0 / 1", "1 / 1"}));
}

TEST_F(ScriptedFrontEndTest, WritingTheRecordWhereNoFileCanBeFails) {
    ScriptedFrontEnd frontEnd;
    testing_support::ScratchDir dir;
    EXPECT_THROW(frontEnd.writeRecord(dir.file("missing/dir/record.txt")), std::runtime_error);
}

TEST_F(ScriptedFrontEndTest, BoxesFromSeveralThreadsEachTakeOneAnswer) {
    auto frontEnd = std::make_shared<ScriptedFrontEnd>();
    for (int i = 0; i < 200; ++i)
        frontEnd->addAnswer(i % 2 == 0 ? "yes" : "no");
    SetFrontEnd(frontEnd);
    std::vector<std::thread> workers;
    std::vector<int> yes(4, 0);
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < 50; ++i)
                yes[w] += MessageBoxA("Go on?", "Worker", MB_YESNO | MB_DEFBUTTON2) == IDYES;
        });
    MovingBarsDialog dialog(100, 50, 100, 1);
    dialog.DoModal();
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(yes[0] + yes[1] + yes[2] + yes[3], 100);
    EXPECT_EQ(frontEnd->boxes().size(), 200u);
    EXPECT_EQ(frontEnd->unusedAnswers(), 0u);
}
