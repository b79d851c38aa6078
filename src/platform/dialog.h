#pragma once

#include "platform/dialog_template.h"
#include "platform/front_end.h"
#include "platform/win_types.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The dialog class the program's dialogs derive from, shaped as the Windows
// framework's: made from a template, run modally, with handlers for
// initialisation, OK and Cancel, timers, posted messages, device changes and
// destruction. A modal loop serves its own dialog; a dialog opened from a
// handler runs a loop of its own on top (nesting). All timing goes through
// the program's clock. Only the thread that runs a dialog touches it; other
// threads reach it with PostMessageA on its window.
//
// When the installed front end shows dialogs as the system's own windows
// (native_ui.h), DoModal runs the dialog as a real modal dialog with the same
// handlers in the same order; the calls below then also reach the real window.
namespace platform {

class NativeUi;

using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;

constexpr int IDCANCEL = 2;
constexpr UINT WM_COMMAND = 0x0111;

class CDialog : private DialogView {
public:
    explicit CDialog(DialogTemplate dialogTemplate);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // The font the dialog is laid out with (before DoModal).
    void SetTemplateFont(const std::string& face, int pointSize);
    const DialogTemplate& Template() const { return template_; }

    // Runs the dialog until EndDialog; returns its result.
    INT_PTR DoModal();
    void EndDialog(int result);
    bool IsRunning() const { return running_; }
    // Null unless the dialog runs.
    HWND GetSafeHwnd() const { return window_; }

    void SetWindowTextA(const std::string& text);
    std::string GetWindowTextA() const { return title_; }
    void SetDlgItemTextA(int id, const std::string& text);
    std::string GetDlgItemTextA(int id) const;
    // Controls in template order (the ones with an id).
    std::vector<int> ControlIds() const;

    // Progress bars.
    void SetRange(int id, int low, int high);
    void SetPos(int id, int position);
    int GetPos(int id) const;

    // Replaces a timer with the same id; fires every `milliseconds`.
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds);
    BOOL KillTimer(UINT_PTR id);
    // Queued for the dialog's loop; callable from any thread while it runs.
    BOOL PostMessageA(UINT message, WPARAM wParam, LPARAM lParam);

    void SetIcon(const std::string& icon, bool big);
    void CenterWindow() {}

protected:
    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(1); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnCommand(int id);
    virtual void OnTimer(UINT_PTR) {}
    virtual void OnDeviceChange(WPARAM, LPARAM) {}
    // Posted messages other than WM_COMMAND and WM_DEVICECHANGE (WM_APP ...).
    virtual void OnMessage(UINT, WPARAM, LPARAM) {}
    virtual void OnDestroy() {}

private:
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    struct Timer {
        UINT period;
        std::uint64_t due;
    };

    // DialogView
    const DialogTemplate& dialogTemplate() const override { return template_; }
    std::string title() const override { return title_; }
    std::vector<ControlState> controls() const override;
    int depth() const override { return depth_; }

    class NativeRun; // the dialog shown as a real window
    friend class NativeRun;
    friend HWND NativeOwnerWindow();

    ControlState* find(int id);
    const ControlState* find(int id) const;
    void changed();
    void dispatch(const Posted& message);
    bool runDueTimer();
    void waitForWork();
    void runLoop();
    void runNative(NativeUi& native, HWND owner);
    // The system's window to pass a change on to, when there is one.
    NativeUi* nativeWindow() const { return window_ != nullptr ? native_.get() : nullptr; }

    DialogTemplate template_;
    std::string title_;
    std::vector<ControlState> controls_;
    std::map<UINT_PTR, Timer> timers_;
    std::string bigIcon_, smallIcon_;

    mutable std::mutex queueLock_;
    std::condition_variable queued_;
    std::deque<Posted> queue_;

    HWND window_ = nullptr;
    std::shared_ptr<NativeUi> native_; // set while it runs as a real window
    bool destroying_ = false;
    bool running_ = false;
    bool ended_ = false;
    int result_ = 0;
    int depth_ = 0;
};

// A button pressed as a person would press it (front ends and tests): posts
// WM_COMMAND with the button's id to the innermost running dialog.
BOOL PressDialogButton(int id);

} // namespace platform
