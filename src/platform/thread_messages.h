#pragma once

#include "platform/win_types.h"

// Thread message queues, shaped as the Windows calls. A thread gets its queue
// the first time it calls PeekMessageA or GetMessageA; from then on any thread
// can post to it by thread id.
namespace platform {

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
};

// FALSE (ERROR_INVALID_THREAD_ID) when the thread has no queue.
BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Waits for the next message of the calling thread's queue whose number lies in
// [first, last] (0, 0: any); 0 for WM_QUIT, else nonzero.
BOOL GetMessageA(MSG* message, HWND window, UINT first, UINT last);
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
void PostQuitMessage(int exitCode);
// Thread messages have no window to go to: both do nothing.
BOOL TranslateMessage(const MSG* message);
LPARAM DispatchMessageA(const MSG* message);

// COM needs nothing set up here; both only keep the calls' shape.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

} // namespace platform
