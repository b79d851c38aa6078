#pragma once

#include "platform/win_types.h"

#include <functional>

// Windows as message targets. A window here is whatever registered a sink for
// its messages (the dialog runtime's windows); PostMessageA may be called from
// any thread and hands the message to that sink at once, so a sink must only
// queue what it gets.
namespace platform {

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

using WindowMessageSink = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

HWND RegisterMessageWindow(WindowMessageSink sink);
// After it returns the sink is no longer called.
void UnregisterMessageWindow(HWND window);

// FALSE for a window that is not registered, unless the front end shows
// dialogs as real windows (native_ui.h) and it is one of them.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace platform
