#pragma once

#include "platform/dialog_template.h"
#include "platform/front_end.h"
#include "platform/win_types.h"

#include <cstdint>
#include <memory>
#include <string>

// The system's own windows, for a front end that shows the program's dialogs
// as real ones (win32/native_front_end_win32.cpp; Linux has none). Such a
// front end also derives from NativeUi: the dialog runtime then runs each
// dialog as a real modal dialog instead of its own loop, and keeps its copy of
// every text and position, so that the getters and DialogView still work.
namespace platform {

using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;

// What a real dialog window reports to the dialog it shows, decoded from the
// window's messages. Everything arrives on the thread that runs the dialog.
class NativeDialogEvents {
public:
    virtual ~NativeDialogEvents() = default;
    // The window exists, its controls too; it is not shown yet.
    virtual void initialise(HWND window) = 0;
    // A button was pressed (IDOK and IDCANCEL also by Enter and Escape).
    virtual void command(int id) = 0;
    virtual void timer(UINT_PTR id) = 0;
    virtual void deviceChange(WPARAM event, LPARAM data) = 0;
    // A message in the WM_USER or WM_APP range that is not the dialog
    // manager's own.
    virtual void message(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void destroyed() = 0;
};

class NativeUi {
public:
    virtual ~NativeUi() = default;

    // Runs the dialog `layout` describes (its caption, texts and font as they
    // are now) modally, owned by `owner` (null: none), until endModal.
    virtual INT_PTR runModal(const DialogTemplate& layout, HWND owner,
                             NativeDialogEvents& events) = 0;
    virtual void endModal(HWND window, INT_PTR result) = 0;

    virtual void setTitle(HWND window, const std::string& text) = 0;
    virtual void setItemText(HWND window, int id, const std::string& text) = 0;
    virtual void setProgressRange(HWND window, int id, int low, int high) = 0;
    virtual void setProgressPosition(HWND window, int id, int position) = 0;
    virtual void setIcon(HWND window, const std::string& icon, bool big) = 0;
    // `realMilliseconds` is real time: the caller has scaled it already.
    virtual void setTimer(HWND window, UINT_PTR id, UINT realMilliseconds) = 0;
    virtual void killTimer(HWND window, UINT_PTR id) = 0;
    // Any thread. FALSE for a handle that is no window of this program.
    virtual BOOL post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The installed front end's system windows; null when it has none.
std::shared_ptr<NativeUi> CurrentNativeUi();

// The window a dialog or box opened now on the calling thread belongs to: the
// innermost dialog this thread runs as a real window (one being destroyed
// excepted); null on any other thread.
HWND NativeOwnerWindow();

} // namespace platform
