#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/dialog.h"
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace platform;

namespace {

DialogTemplate simpleTemplate(int id) {
    DialogTemplate t;
    t.id = id;
    t.caption = "Test";
    t.width = 100;
    t.height = 50;
    t.controls = {{10, ControlClass::Static, "idle", 0, 0, 50, 8, 0},
                  {11, ControlClass::Progress, "", 0, 10, 90, 7, 0}};
    return t;
}

// A dialog whose handlers are given by the test; records what happened when.
class ScriptDialog : public CDialog {
public:
    explicit ScriptDialog(int id = 1) : CDialog(simpleTemplate(id)) {}

    std::function<void(ScriptDialog&)> onInit;
    std::function<void(ScriptDialog&, UINT_PTR)> onTimer;
    std::function<void(ScriptDialog&, UINT, WPARAM)> onMessage;
    std::function<void(ScriptDialog&, WPARAM)> onDevice;
    std::vector<std::string> events;

protected:
    BOOL OnInitDialog() override {
        events.push_back("init@" + std::to_string(GetTickCount64()));
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void OnTimer(UINT_PTR id) override {
        events.push_back("timer" + std::to_string(id) + "@" + std::to_string(GetTickCount64()));
        if (onTimer)
            onTimer(*this, id);
    }
    void OnMessage(UINT message, WPARAM wParam, LPARAM) override {
        events.push_back("message@" + std::to_string(GetTickCount64()));
        if (onMessage)
            onMessage(*this, message, wParam);
    }
    void OnDeviceChange(WPARAM event, LPARAM) override {
        events.push_back("device@" + std::to_string(GetTickCount64()));
        if (onDevice)
            onDevice(*this, event);
    }
    void OnDestroy() override { events.push_back("destroy"); }
};

struct DialogTest : testing::Test {
    void SetUp() override {
        SetManualClock(true);
        ResetDeviceNotifications();
    }
    void TearDown() override { SetManualClock(false); }
};

} // namespace

TEST_F(DialogTest, TimersFireOnTheClockUntilTheDialogEnds) {
    ScriptDialog dialog;
    int ticks = 0;
    dialog.onInit = [](ScriptDialog& d) { d.SetTimer(7, 100); };
    dialog.onTimer = [&](ScriptDialog& d, UINT_PTR) {
        if (++ticks == 3)
            d.EndDialog(42);
    };
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init@0", "timer7@100", "timer7@200",
                                                       "timer7@300", "destroy"}));
    EXPECT_FALSE(dialog.IsRunning());
}

TEST_F(DialogTest, EndingDuringInitialisationRunsNoLoop) {
    ScriptDialog dialog;
    dialog.onInit = [](ScriptDialog& d) {
        d.SetTimer(1, 10);
        d.EndDialog(2);
    };
    EXPECT_EQ(dialog.DoModal(), 2);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init@0", "destroy"}));
}

TEST_F(DialogTest, RestartingATimerMovesItsNextTick) {
    ScriptDialog dialog;
    dialog.onInit = [](ScriptDialog& d) {
        d.SetTimer(100, 12000);
        d.SetTimer(5, 1000);
    };
    dialog.onTimer = [](ScriptDialog& d, UINT_PTR id) {
        if (id == 5) {
            d.KillTimer(5);
            d.KillTimer(100);
            d.SetTimer(100, 4000);
        } else {
            d.EndDialog(1);
        }
    };
    dialog.DoModal();
    EXPECT_EQ(dialog.events,
              (std::vector<std::string>{"init@0", "timer5@1000", "timer100@5000", "destroy"}));
}

TEST_F(DialogTest, PostedMessagesComeBeforeTimers) {
    ScriptDialog dialog;
    dialog.onInit = [](ScriptDialog& d) {
        d.SetTimer(1, 100);
        d.PostMessageA(WM_APP, 0, 0);
    };
    dialog.onTimer = [](ScriptDialog& d, UINT_PTR) { d.EndDialog(1); };
    dialog.DoModal();
    EXPECT_EQ(dialog.events,
              (std::vector<std::string>{"init@0", "message@0", "timer1@100", "destroy"}));
    EXPECT_FALSE(dialog.PostMessageA(WM_APP, 0, 0));
}

TEST_F(DialogTest, DeviceArrivalReachesARegisteredDialog) {
    ScriptDialog dialog;
    dialog.onInit = [](ScriptDialog& d) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = GUID_DEVINTERFACE_IMAGE;
        ASSERT_NE(
            RegisterDeviceNotificationA(d.GetSafeHwnd(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE),
            nullptr);
        ScheduleDeviceArrival(2500, GUID_DEVINTERFACE_IMAGE);
        d.SetTimer(1, 30000);
    };
    dialog.onDevice = [](ScriptDialog& d, WPARAM event) {
        EXPECT_EQ(event, DBT_DEVICEARRIVAL);
        d.EndDialog(1);
    };
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init@0", "device@2500", "destroy"}));
}

TEST_F(DialogTest, InnerDialogRunsItsOwnLoopAndTheOuterGoesOn) {
    ScriptDialog outer(1);
    ScriptDialog inner(2);
    inner.onInit = [](ScriptDialog& d) { d.SetTimer(1, 400); };
    inner.onTimer = [](ScriptDialog& d, UINT_PTR) { d.EndDialog(9); };
    int innerResult = 0;
    outer.onInit = [&](ScriptDialog& d) {
        d.SetTimer(3, 100);
        innerResult = static_cast<int>(inner.DoModal());
    };
    outer.onTimer = [](ScriptDialog& d, UINT_PTR) { d.EndDialog(1); };
    EXPECT_EQ(outer.DoModal(), 1);
    EXPECT_EQ(innerResult, 9);
    EXPECT_EQ(inner.events, (std::vector<std::string>{"init@0", "timer1@400", "destroy"}));
    // The outer timer was due while the inner dialog ran; it fires once it is back.
    EXPECT_EQ(outer.events, (std::vector<std::string>{"init@0", "timer3@400", "destroy"}));
}

TEST_F(DialogTest, ControlsKeepTextsAndClampProgress) {
    ScriptDialog dialog;
    dialog.SetDlgItemTextA(10, "before");
    EXPECT_EQ(dialog.GetDlgItemTextA(10), "before");
    EXPECT_EQ(dialog.GetDlgItemTextA(99), "");
    dialog.SetRange(11, 0, 8192);
    dialog.SetPos(11, 9000);
    EXPECT_EQ(dialog.GetPos(11), 8192);
    dialog.SetPos(11, -5);
    EXPECT_EQ(dialog.GetPos(11), 0);
    EXPECT_EQ(dialog.ControlIds(), (std::vector<int>{10, 11}));
    EXPECT_EQ(dialog.GetWindowTextA(), "Test");
}

TEST_F(DialogTest, PressedButtonReachesTheInnermostDialog) {
    ScriptDialog dialog;
    dialog.onInit = [](ScriptDialog& d) {
        d.SetTimer(1, 100);
        PressDialogButton(IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_FALSE(PressDialogButton(1));
}
