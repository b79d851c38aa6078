#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/sync.h"
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace platform;

namespace {

class CountingDialog : public CDialog {
public:
    CountingDialog() : CDialog(DialogTemplate{}) {}
    std::atomic<HWND> window{nullptr};
    int received = 0;

protected:
    BOOL OnInitDialog() override {
        window = GetSafeHwnd();
        SetTimer(1, 10);
        return TRUE;
    }
    void OnMessage(UINT message, WPARAM, LPARAM) override {
        if (message == WM_APP && ++received == 100)
            EndDialog(1);
    }
};

DWORD postHundred(void* argument) {
    auto* dialog = static_cast<CountingDialog*>(argument);
    while (dialog->window.load() == nullptr)
        Sleep(1);
    for (int i = 0; i < 100; ++i)
        PostMessageA(dialog->window.load(), WM_APP, 0, 0);
    return 0;
}

} // namespace

// Workers never touch a dialog; they post to its window, from their own thread.
TEST(DialogThreads, MessagesPostedFromAWorkerAllArrive) {
    CountingDialog dialog;
    HANDLE worker = CreateThread(nullptr, 0, postHundred, &dialog, 0, nullptr);
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.received, 100);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
}
