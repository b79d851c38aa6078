#include "device/caution_text.h"
#include "device/scanner.h"
#include "device/wait_device_dialog.h"
#include "device/wait_dialog_templates.h"
#include "wait_dialog_support.h"

namespace {

using Outcome = std::pair<int, std::uint64_t>;

constexpr platform::GUID kOtherClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

struct WaitDeviceDialogTest : testing::TestWithParam<int> {
    void SetUp() override { platform::SetManualClock(true); }
    void TearDown() override { platform::SetManualClock(false); }
    void arriveAt(std::uint64_t tick, const platform::GUID& interfaceClass) {
        platform::ScheduleDeviceArrival(platform::GetTickCount64() + tick, interfaceClass);
    }

    wait_test::Surroundings surroundings;
    CScanner scanner;
};

} // namespace

TEST_F(WaitDeviceDialogTest, Mode2EndsWhenAnImageDeviceArrivesOrAfterThirtySeconds) {
    arriveAt(5000, kOtherClass);
    arriveAt(7000, platform::GUID_DEVINTERFACE_IMAGE);
    CWaitDeviceDialog first(scanner);
    EXPECT_EQ(wait_test::RunModal(first), Outcome(1, 7000));
    EXPECT_EQ(first.GetDlgItemTextA(wait_dialogs::kMessageText), CautionText());

    arriveAt(31000, platform::GUID_DEVINTERFACE_IMAGE);
    CWaitDeviceDialog second(scanner);
    EXPECT_EQ(wait_test::RunModal(second), Outcome(1, 30000));
    EXPECT_TRUE(surroundings.frontEnd->boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Modes0And1, WaitDeviceDialogTest, testing::Values(0, 1));

TEST_P(WaitDeviceDialogTest, AsksTheUserOrTheLogAndWaitsTheFullThirtySeconds) {
    const std::string request =
        GetParam() == 0 ? "Please disconnect USB cable and reconnect it."
                        : "Please turn off the scanner, wait for 5 seconds, and turn on again.";
    for (int silent : {0, 1}) {
        arriveAt(5000, platform::GUID_DEVINTERFACE_IMAGE); // only mode 2 ends on it
        CWaitDeviceDialog wait(scanner);
        wait.mode = GetParam();
        wait.silent = silent;
        EXPECT_EQ(wait_test::RunModal(wait), Outcome(1, 30000));
        EXPECT_EQ(wait.GetDlgItemTextA(wait_dialogs::kMessageText), "Wait...");
    }
    const auto boxes = surroundings.frontEnd->boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, request);
    EXPECT_EQ(boxes[0].caption, GetParam() == 0 ? "" : "Error");
    const std::string log = surroundings.log();
    EXPECT_EQ(log.substr(log.size() - request.size() - 2), request + "\r\n");
}
