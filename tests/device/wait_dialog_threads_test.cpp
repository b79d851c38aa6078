#include "device/caution_text.h"
#include "device/scanner.h"
#include "device/wait_dialog.h"
#include "device/wait_dialog_templates.h"
#include "wait_dialog_support.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Kind = platform::ScriptedFrontEnd::Event::Kind;

std::atomic<bool> workerDone{false};

// Works a while in real time, during which the dialog's manual clock races
// ahead, and answers its argument.
platform::DWORD slowWorker(void* argument) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    workerDone = true;
    return static_cast<platform::DWORD>(reinterpret_cast<std::uintptr_t>(argument));
}

// Runs a timed wait from its initialisation, as the upgrade dialog does, and
// ends through a timer of its own.
class OuterDialog : public platform::CDialog {
public:
    explicit OuterDialog(CScanner& scanner)
        : platform::CDialog(platform::DialogTemplate{
              9, "Outer", 100, 40, "MS Sans Serif", 8, platform::dialog_style::kCaption, {}}),
          wait(scanner) {}

    CWaitDialog wait;
    platform::DWORD waitResult = 0;

protected:
    platform::BOOL OnInitDialog() override {
        SetTimer(CWaitDialog::kTimerId, 500);
        waitResult = wait.run(slowWorker, reinterpret_cast<void*>(std::uintptr_t{42}));
        return platform::TRUE;
    }
    void OnTimer(platform::UINT_PTR) override { EndDialog(3); }
};

} // namespace

TEST(WaitDialogThreads, NestedWaitReturnsTheWorkersResultOnlyOnceItHasEnded) {
    platform::SetManualClock(true);
    wait_test::Surroundings surroundings;
    CScanner scanner;
    OuterDialog outer(scanner);

    EXPECT_EQ(outer.DoModal(), 3);
    EXPECT_EQ(outer.waitResult, 42u);
    EXPECT_TRUE(workerDone);
    EXPECT_EQ(outer.wait.GetDlgItemTextA(wait_dialogs::kMessageText), CautionText());

    std::vector<std::string> seen;
    for (const auto& event : surroundings.frontEnd->events())
        if (event.kind != Kind::Changed)
            seen.push_back((event.kind == Kind::Opened ? "open " : "close ") +
                           std::to_string(event.templateId) + " at " + std::to_string(event.depth) +
                           " -> " + std::to_string(event.result));
    EXPECT_EQ(seen, (std::vector<std::string>{"open 9 at 1 -> 0", "open 158 at 2 -> 0",
                                              "close 158 at 2 -> 0", "close 9 at 1 -> 3"}));
    platform::SetManualClock(false);
}
