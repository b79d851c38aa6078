#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/dialog.h"
#include "platform/front_end.h"
#include "platform/native_ui.h"
#include "platform/sync.h"
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// Dialogs run as the system's windows, against a stand-in for the system that
// behaves as a Windows thread does: one message loop serves every window of
// the thread, so a nested dialog's loop also hands the outer dialog its posted
// messages and timers.
using namespace platform;

namespace {

class FakeSystem : public FrontEnd, public NativeUi {
public:
    struct Window {
        NativeDialogEvents* events = nullptr;
        HWND owner = nullptr;
        DialogTemplate layout;
        std::string title;
        std::map<int, std::string> texts;
        std::map<int, std::pair<int, int>> ranges;
        std::map<int, int> positions;
        std::map<UINT_PTR, std::pair<UINT, std::uint64_t>> timers; // period, due
        bool ended = false;
        INT_PTR result = 0;
    };

    bool refuseWindows = false;
    std::vector<Window> made;         // every window as it stood when it went
    std::map<UINT_PTR, UINT> periods; // the last real period each timer id got

    // FrontEnd
    void dialogOpened(const DialogView&) override {}
    void dialogChanged(const DialogView&) override {}
    void dialogClosed(const DialogView&, int) override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    std::optional<std::string> openFile(const OpenFileRequest&) override { return std::nullopt; }

    // NativeUi
    INT_PTR runModal(const DialogTemplate& layout, HWND owner,
                     NativeDialogEvents& events) override {
        if (refuseWindows)
            return -1;
        const HWND hwnd = reinterpret_cast<HWND>(0x70000000u + 0x10u * ++count_);
        Window& w = windows_[hwnd];
        w.events = &events;
        w.owner = owner;
        w.layout = layout;
        events.initialise(hwnd);
        while (!windows_[hwnd].ended)
            runOne();
        events.destroyed();
        made.push_back(windows_[hwnd]);
        windows_.erase(hwnd);
        return made.back().result;
    }
    void endModal(HWND window, INT_PTR result) override {
        windows_[window].ended = true;
        windows_[window].result = result;
    }
    void setTitle(HWND window, const std::string& text) override { windows_[window].title = text; }
    void setItemText(HWND window, int id, const std::string& text) override {
        windows_[window].texts[id] = text;
    }
    void setProgressRange(HWND window, int id, int low, int high) override {
        windows_[window].ranges[id] = {low, high};
    }
    void setProgressPosition(HWND window, int id, int position) override {
        windows_[window].positions[id] = position;
    }
    void setIcon(HWND, const std::string&, bool) override {}
    void setTimer(HWND window, UINT_PTR id, UINT realMilliseconds) override {
        windows_[window].timers[id] = {realMilliseconds, GetTickCount64() + realMilliseconds};
        periods[id] = realMilliseconds;
    }
    void killTimer(HWND window, UINT_PTR id) override { windows_[window].timers.erase(id); }
    BOOL post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (windows_.count(window) == 0)
            return FALSE;
        posted_.push_back({window, message, wParam, lParam});
        return TRUE;
    }

private:
    struct Message {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // One turn of the thread's loop: a posted message, else the earliest due
    // timer of any window, else the clock moves on to it.
    void runOne() {
        std::optional<Message> next;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!posted_.empty()) {
                next = posted_.front();
                posted_.pop_front();
            }
        }
        if (next) {
            auto it = windows_.find(next->window);
            if (it == windows_.end())
                return;
            NativeDialogEvents& events = *it->second.events;
            if (next->message == WM_COMMAND)
                events.command(static_cast<int>(next->wParam & 0xFFFF));
            else if (next->message == WM_DEVICECHANGE)
                events.deviceChange(next->wParam, next->lParam);
            else
                events.message(next->message, next->wParam, next->lParam);
            return;
        }
        HWND window = nullptr;
        UINT_PTR id = 0;
        std::uint64_t due = 0;
        for (auto& [hwnd, w] : windows_)
            for (auto& [timerId, timer] : w.timers)
                if (window == nullptr || timer.second < due) {
                    window = hwnd;
                    id = timerId;
                    due = timer.second;
                }
        if (window == nullptr)
            throw std::logic_error("nothing left that could end the dialog");
        const std::uint64_t now = GetTickCount64();
        if (due > now) {
            AdvanceClock(due - now);
            return;
        }
        auto& timer = windows_[window].timers[id];
        timer.second = now + timer.first;
        windows_[window].events->timer(id);
    }

    std::mutex lock_;
    std::map<HWND, Window> windows_;
    std::deque<Message> posted_;
    unsigned count_ = 0;
};

DialogTemplate layout(int id) {
    DialogTemplate t;
    t.id = id;
    t.caption = "Test";
    t.width = 100;
    t.height = 50;
    t.controls = {{10, ControlClass::Static, "idle", 0, 0, 50, 8, 0},
                  {11, ControlClass::Progress, "", 0, 10, 90, 7, 0}};
    return t;
}

// Records each handler with the tick it ran at, into a log shared by the
// dialogs of a case.
class Recorder : public CDialog {
public:
    Recorder(std::vector<std::string>& log, std::string name, int id = 1)
        : CDialog(layout(id)), log_(log), name_(std::move(name)) {}

    std::function<void(Recorder&)> onInit, onDestroy;
    std::function<void(Recorder&, UINT_PTR)> onTimer;
    std::function<void(Recorder&, UINT)> onMessage;
    std::function<void(Recorder&)> onDevice;

protected:
    BOOL OnInitDialog() override {
        note("init");
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void OnTimer(UINT_PTR id) override {
        note("timer" + std::to_string(id));
        if (onTimer)
            onTimer(*this, id);
    }
    void OnMessage(UINT message, WPARAM, LPARAM) override {
        note("message");
        if (onMessage)
            onMessage(*this, message);
    }
    void OnDeviceChange(WPARAM, LPARAM) override {
        note("device");
        if (onDevice)
            onDevice(*this);
    }
    void OnCommand(int id) override {
        note("command" + std::to_string(id));
        CDialog::OnCommand(id);
    }
    void OnDestroy() override {
        note("destroy");
        if (onDestroy)
            onDestroy(*this);
    }

private:
    void note(const std::string& what) {
        log_.push_back(name_ + ":" + what + "@" + std::to_string(GetTickCount64()));
    }
    std::vector<std::string>& log_;
    std::string name_;
};

struct NativeDialogTest : testing::Test {
    void SetUp() override {
        scale = TimeScale();
        SetTimeScale(1.0);
        SetManualClock(true);
        ResetDeviceNotifications();
    }
    void TearDown() override {
        SetFrontEnd(nullptr);
        SetManualClock(false);
        SetTimeScale(scale);
        ResetDeviceNotifications();
    }
    double scale = 1.0;
};

// A case: what its dialogs do, and the result of the outermost.
using Case = std::function<INT_PTR(std::vector<std::string>& log)>;

const std::map<std::string, Case>& cases() {
    static const std::map<std::string, Case> all = {
        {"timers until the end",
         [](std::vector<std::string>& log) {
             Recorder d(log, "d");
             int ticks = 0;
             d.onInit = [](Recorder& r) {
                 r.SetTimer(7, 100);
                 r.SetTimer(8, 250);
             };
             d.onTimer = [&](Recorder& r, UINT_PTR) {
                 if (++ticks == 4)
                     r.EndDialog(42);
             };
             return d.DoModal();
         }},
        {"ended in initialisation",
         [](std::vector<std::string>& log) {
             Recorder d(log, "d");
             d.onInit = [](Recorder& r) {
                 r.SetTimer(1, 10);
                 r.PostMessageA(WM_APP, 0, 0);
                 r.EndDialog(2);
             };
             return d.DoModal();
         }},
        {"posted before timers, nothing after the end",
         [](std::vector<std::string>& log) {
             Recorder d(log, "d");
             d.onInit = [](Recorder& r) {
                 r.SetTimer(1, 100);
                 r.PostMessageA(WM_APP, 0, 0);
                 r.PostMessageA(WM_APP + 1, 0, 0);
             };
             d.onMessage = [](Recorder& r, UINT message) {
                 if (message == WM_APP + 1) {
                     r.PostMessageA(WM_APP, 0, 0);
                     r.EndDialog(5);
                 }
             };
             return d.DoModal();
         }},
        {"killed and restarted timers",
         [](std::vector<std::string>& log) {
             Recorder d(log, "d");
             d.onInit = [](Recorder& r) {
                 r.SetTimer(100, 12000);
                 r.SetTimer(5, 1000);
             };
             d.onTimer = [](Recorder& r, UINT_PTR id) {
                 if (id == 5) {
                     r.KillTimer(5);
                     r.KillTimer(100);
                     r.SetTimer(100, 4000);
                 } else {
                     r.EndDialog(1);
                 }
             };
             return d.DoModal();
         }},
        {"inner dialog holds back the outer's messages and timers",
         [](std::vector<std::string>& log) {
             Recorder outer(log, "outer", 1);
             Recorder inner(log, "inner", 2);
             inner.onInit = [](Recorder& r) { r.SetTimer(1, 450); };
             inner.onTimer = [](Recorder& r, UINT_PTR) { r.EndDialog(9); };
             outer.onInit = [&](Recorder& r) {
                 r.SetTimer(3, 100);
                 r.PostMessageA(WM_APP, 0, 0);
                 inner.DoModal();
             };
             outer.onTimer = [](Recorder& r, UINT_PTR) { r.EndDialog(1); };
             return outer.DoModal();
         }},
        {"dialog opened while the outer is destroyed",
         [](std::vector<std::string>& log) {
             Recorder outer(log, "outer", 1);
             Recorder inner(log, "inner", 2);
             inner.onInit = [](Recorder& r) { r.SetTimer(1, 300); };
             inner.onTimer = [](Recorder& r, UINT_PTR) { r.EndDialog(4); };
             outer.onInit = [](Recorder& r) { r.SetTimer(2, 100); };
             outer.onTimer = [](Recorder& r, UINT_PTR) { r.EndDialog(3); };
             outer.onDestroy = [&](Recorder&) { inner.DoModal(); };
             return outer.DoModal();
         }},
        {"pressed button",
         [](std::vector<std::string>& log) {
             Recorder d(log, "d");
             d.onInit = [](Recorder& r) {
                 r.SetTimer(1, 100);
                 PressDialogButton(IDCANCEL);
             };
             return d.DoModal();
         }},
        {"device arrival",
         [](std::vector<std::string>& log) {
             Recorder d(log, "d");
             d.onInit = [](Recorder& r) {
                 DEV_BROADCAST_DEVICEINTERFACE_A filter{};
                 filter.dbcc_size = sizeof filter;
                 filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
                 filter.dbcc_classguid = GUID_DEVINTERFACE_IMAGE;
                 RegisterDeviceNotificationA(r.GetSafeHwnd(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
                 ScheduleDeviceArrival(2500, GUID_DEVINTERFACE_IMAGE);
                 r.SetTimer(1, 30000);
             };
             d.onDevice = [](Recorder& r) { r.EndDialog(1); };
             return d.DoModal();
         }},
    };
    return all;
}

} // namespace

TEST_F(NativeDialogTest, HandlersRunInTheSameOrderAsInTheRuntimesOwnLoop) {
    for (const auto& [name, run] : cases()) {
        SCOPED_TRACE(name);
        std::vector<std::string> own, native;
        SetManualClock(false);
        SetManualClock(true);
        const INT_PTR ownResult = run(own);

        SetManualClock(false);
        SetManualClock(true);
        ResetDeviceNotifications();
        auto system = std::make_shared<FakeSystem>();
        SetFrontEnd(system);
        const INT_PTR nativeResult = run(native);
        SetFrontEnd(nullptr);

        EXPECT_EQ(native, own);
        EXPECT_EQ(nativeResult, ownResult);
        EXPECT_FALSE(system->made.empty());
        EXPECT_FALSE(PressDialogButton(1));
    }
}

TEST_F(NativeDialogTest, TheWindowShowsTextsBarsAndTitleAndTheDialogKeepsItsCopy) {
    auto system = std::make_shared<FakeSystem>();
    SetFrontEnd(system);
    std::vector<std::string> log;
    Recorder d(log, "d");
    d.SetWindowTextA("Before");
    d.SetDlgItemTextA(10, "set before");
    d.SetRange(11, 0, 400);
    d.SetPos(11, 40);
    d.onInit = [](Recorder& r) {
        r.SetWindowTextA("Upgrading - SX-2300C");
        r.SetDlgItemTextA(10, "\xE6\x9B\xB4\xE6\x96\xB0"); // UTF-8 passes as it is
        r.SetRange(11, 0, 8192);
        r.SetPos(11, 9000); // clamped before it reaches the window
        r.EndDialog(1);
    };
    EXPECT_EQ(d.DoModal(), 1);
    ASSERT_EQ(system->made.size(), 1u);
    const FakeSystem::Window& w = system->made[0];
    // The template is the dialog as it stood when it opened.
    EXPECT_EQ(w.layout.caption, "Before");
    EXPECT_EQ(w.layout.controls[0].text, "set before");
    EXPECT_EQ(w.layout.fontFace, "MS Sans Serif");
    EXPECT_EQ(w.owner, nullptr);
    EXPECT_EQ(w.title, "Upgrading - SX-2300C");
    EXPECT_EQ(w.texts.at(10), "\xE6\x9B\xB4\xE6\x96\xB0");
    EXPECT_EQ(w.ranges.at(11), (std::pair<int, int>{0, 8192}));
    EXPECT_EQ(w.positions.at(11), 8192);
    EXPECT_EQ(d.GetWindowTextA(), "Upgrading - SX-2300C");
    EXPECT_EQ(d.GetDlgItemTextA(10), "\xE6\x9B\xB4\xE6\x96\xB0");
    EXPECT_EQ(d.GetPos(11), 8192);
}

TEST_F(NativeDialogTest, DialogsAndBoxesBelongToTheInnermostLiveDialogOfTheirThread) {
    auto system = std::make_shared<FakeSystem>();
    SetFrontEnd(system);
    std::vector<std::string> log;
    Recorder outer(log, "outer", 1), inner(log, "inner", 2), late(log, "late", 3);
    HWND outerWindow = nullptr, innerWindow = nullptr;
    HWND ownerInInner = nullptr, lateWindow = nullptr, ownerInLate = nullptr;
    HWND ownerOnWorker = reinterpret_cast<HWND>(1);
    inner.onInit = [&](Recorder& r) {
        innerWindow = r.GetSafeHwnd();
        ownerInInner = NativeOwnerWindow();
        r.EndDialog(1);
    };
    late.onInit = [&](Recorder& r) {
        lateWindow = r.GetSafeHwnd();
        ownerInLate = NativeOwnerWindow();
        r.EndDialog(1);
    };
    outer.onInit = [&](Recorder& r) {
        outerWindow = r.GetSafeHwnd();
        HANDLE worker = CreateThread(
            nullptr, 0,
            [](void* owner) -> DWORD {
                *static_cast<HWND*>(owner) = NativeOwnerWindow();
                return 0;
            },
            &ownerOnWorker, 0, nullptr);
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
        inner.DoModal();
        r.EndDialog(1);
    };
    outer.onDestroy = [&](Recorder&) { late.DoModal(); };
    outer.DoModal();

    ASSERT_EQ(system->made.size(), 3u);
    EXPECT_NE(outerWindow, nullptr);
    EXPECT_EQ(system->made[0].owner, outerWindow); // inner
    EXPECT_EQ(ownerInInner, innerWindow);
    EXPECT_EQ(ownerOnWorker, nullptr);
    // Opened while the outer window goes: not owned by it.
    EXPECT_EQ(system->made[1].owner, nullptr);
    EXPECT_EQ(ownerInLate, lateWindow);
    EXPECT_EQ(NativeOwnerWindow(), nullptr);
    EXPECT_EQ(outer.GetSafeHwnd(), nullptr);
}

TEST_F(NativeDialogTest, TimersRunOnTheScaledClockAndPostsReachOnlyLiveWindows) {
    auto system = std::make_shared<FakeSystem>();
    SetFrontEnd(system);
    SetTimeScale(0.01);
    std::vector<std::string> log;
    Recorder d(log, "d");
    HWND window = nullptr;
    d.onInit = [&](Recorder& r) {
        window = r.GetSafeHwnd();
        r.SetTimer(1, 4000);
        r.SetTimer(2, 100);
        r.SetTimer(3, 1);
        EXPECT_TRUE(r.KillTimer(3));
        EXPECT_FALSE(r.KillTimer(3));
        // Through the window's handle, as a worker reaches it.
        EXPECT_TRUE(platform::PostMessageA(window, WM_APP, 0, 0));
    };
    d.onMessage = [](Recorder& r, UINT) { r.EndDialog(6); };
    EXPECT_EQ(d.DoModal(), 6);
    EXPECT_EQ(system->periods.at(1), 40u);
    EXPECT_EQ(system->periods.at(2), 1u);
    EXPECT_EQ(system->periods.at(3), 1u); // never less than a millisecond
    EXPECT_TRUE(system->made[0].timers.count(1));
    EXPECT_FALSE(system->made[0].timers.count(3));
    EXPECT_FALSE(platform::PostMessageA(window, WM_APP, 0, 0));
    EXPECT_FALSE(d.PostMessageA(WM_APP, 0, 0));
}

TEST_F(NativeDialogTest, FailuresEndTheDialogAndComeOutOfDoModal) {
    auto system = std::make_shared<FakeSystem>();
    SetFrontEnd(system);
    std::vector<std::string> log;
    {
        Recorder d(log, "d");
        d.onInit = [](Recorder& r) {
            r.SetTimer(1, 100);
            throw std::runtime_error("from a handler");
        };
        EXPECT_THROW(d.DoModal(), std::runtime_error);
        EXPECT_FALSE(d.IsRunning());
        EXPECT_EQ(log, (std::vector<std::string>{"d:init@0"})); // no OnDestroy
        EXPECT_FALSE(PressDialogButton(1));
    }
    system->refuseWindows = true;
    Recorder d(log, "e");
    EXPECT_THROW(d.DoModal(), std::runtime_error);
    EXPECT_FALSE(d.IsRunning());
    EXPECT_EQ(log.size(), 1u);
}
