#include "platform/sync.h"
#include "platform/system_info.h"
#include "platform/thread_messages.h"
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

struct Worker {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<WPARAM> received;
};

// Makes its queue, says so, then takes messages until WM_QUIT.
DWORD messageLoop(void* argument) {
    auto* worker = static_cast<Worker*>(argument);
    MSG message;
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(worker->ready);
    while (GetMessageA(&message, nullptr, 0, 0)) {
        if (message.message == WM_APP + 1)
            PostQuitMessage(0);
        else
            worker->received.push_back(message.wParam);
    }
    return 3;
}

} // namespace

TEST(ThreadMessages, PostingNeedsTheThreadsQueue) {
    Worker worker;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, messageLoop, &worker, CREATE_SUSPENDED, &id);
    ASSERT_NE(id, 0u);
    EXPECT_FALSE(PostThreadMessageA(id, WM_APP, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);

    ResumeThread(thread);
    WaitForSingleObject(worker.ready, INFINITE);
    EXPECT_TRUE(PostThreadMessageA(id, WM_APP, 1, 0));
    EXPECT_TRUE(PostThreadMessageA(id, WM_APP, 2, 0));
    EXPECT_TRUE(PostThreadMessageA(id, WM_APP + 1, 0, 0));
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(worker.received, (std::vector<WPARAM>{1, 2}));
    CloseHandle(thread);
    CloseHandle(worker.ready);
}

TEST(ThreadMessages, PeekLeavesOrTakesInRange) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // make this thread's queue
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 5, 9, 0);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_USER, WM_USER + 4, PM_REMOVE));
    EXPECT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_USER, WM_USER + 5, PM_REMOVE));
    EXPECT_EQ(message.wParam, 9u);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}
