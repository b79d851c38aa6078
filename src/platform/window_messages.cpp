#include "platform/window_messages.h"

#include "platform/native_ui.h"

#include <map>
#include <mutex>

namespace platform {

namespace {

struct Windows {
    // Recursive: a sink may post to another window (or itself) while it runs.
    std::recursive_mutex lock;
    std::map<std::uintptr_t, WindowMessageSink> sinks;
    std::uintptr_t next = 0x10010;
};

Windows& windows() {
    // Like the system's, these outlive every other object of the program: a
    // thread still waiting on them while the program ends must not find them
    // destroyed under it.
    static Windows& instance = *new Windows;
    return instance;
}

} // namespace

HWND RegisterMessageWindow(WindowMessageSink sink) {
    auto& w = windows();
    std::lock_guard<std::recursive_mutex> guard(w.lock);
    const std::uintptr_t value = w.next;
    w.next += 0x10;
    w.sinks.emplace(value, std::move(sink));
    return reinterpret_cast<HWND>(value);
}

void UnregisterMessageWindow(HWND window) {
    auto& w = windows();
    std::lock_guard<std::recursive_mutex> guard(w.lock);
    w.sinks.erase(reinterpret_cast<std::uintptr_t>(window));
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        auto& w = windows();
        std::lock_guard<std::recursive_mutex> guard(w.lock);
        auto it = w.sinks.find(reinterpret_cast<std::uintptr_t>(window));
        if (it != w.sinks.end() && it->second) {
            it->second(message, wParam, lParam);
            return TRUE;
        }
    }
    // A dialog shown as a real window has the system's handle.
    if (auto native = CurrentNativeUi())
        return native->post(window, message, wParam, lParam);
    return FALSE;
}

} // namespace platform
