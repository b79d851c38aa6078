#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace platform;

namespace {

DWORD waitThenReturn(void* argument) {
    auto* event = static_cast<HANDLE*>(argument);
    WaitForSingleObject(*event, INFINITE);
    return 42;
}

DWORD countUp(void* argument) {
    ++*static_cast<std::atomic<int>*>(argument);
    return 7;
}

} // namespace

TEST(Events, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, AutoResetReleasesOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Events, HandlesFitThirtyTwoBitFields) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_LT(reinterpret_cast<std::uintptr_t>(event), 0x100000000ull);
    CloseHandle(event);
}

TEST(Events, ClosedHandleFails) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(event);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(event));
}

TEST(Threads, SuspendedThreadRunsOnlyAfterResume) {
    std::atomic<int> runs{0};
    HANDLE thread = CreateThread(nullptr, 0, countUp, &runs, CREATE_SUSPENDED, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(runs.load(), 0);
    ResumeThread(thread);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(runs.load(), 1);
    CloseHandle(thread);
}

TEST(Threads, WaitEndsWhenAnotherThreadSignals) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, waitThenReturn, &event, 0, nullptr);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, STILL_ACTIVE);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 42u);
    CloseHandle(thread);
    CloseHandle(event);
}
