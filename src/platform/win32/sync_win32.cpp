#include "platform/sync.h"

#include "platform/clock.h"

#include "platform/win32/windows_api.h"

#include <process.h>

#include <chrono>
#include <memory>

// The system's events, threads and waits. Timed waits are scaled by the
// program's clock; an infinite wait stays infinite.
namespace platform {

namespace {

struct Start {
    ThreadProc proc;
    void* argument;
};

unsigned __stdcall threadMain(void* start) {
    const std::unique_ptr<Start> what(static_cast<Start*>(start));
    return what->proc(what->argument);
}

DWORD realMilliseconds(DWORD milliseconds) {
    if (milliseconds == INFINITE || milliseconds == 0)
        return milliseconds;
    const auto real = std::chrono::ceil<std::chrono::milliseconds>(RealDuration(milliseconds));
    return static_cast<DWORD>(std::min<long long>(real.count(), INFINITE - 1));
}

} // namespace

HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name) {
    return ::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(attributes), manualReset, initialState,
                          name);
}

BOOL SetEvent(HANDLE event) {
    return ::SetEvent(event);
}

BOOL ResetEvent(HANDLE event) {
    return ::ResetEvent(event);
}

HANDLE CreateThread(void*, std::size_t stackSize, ThreadProc proc, void* argument, DWORD flags,
                    DWORD* threadId) {
    // Through the C runtime, so that the thread's runtime state is set up.
    auto start = std::make_unique<Start>(Start{proc, argument});
    unsigned id = 0;
    const auto handle =
        ::_beginthreadex(nullptr, static_cast<unsigned>(stackSize), threadMain, start.get(),
                         (flags & CREATE_SUSPENDED) != 0 ? CREATE_SUSPENDED : 0, &id);
    if (handle == 0)
        return nullptr;
    start.release(); // the thread owns it now
    if (threadId != nullptr)
        *threadId = id;
    return reinterpret_cast<HANDLE>(handle);
}

DWORD ResumeThread(HANDLE thread) {
    return ::ResumeThread(thread);
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
    return ::TerminateThread(thread, exitCode);
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    ::DWORD code = 0;
    if (exitCode == nullptr || !::GetExitCodeThread(thread, &code))
        return FALSE;
    *exitCode = code;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return ::WaitForSingleObject(object, realMilliseconds(milliseconds));
}

BOOL CloseHandle(HANDLE object) {
    return ::CloseHandle(object);
}

DWORD GetLastError() {
    return ::GetLastError();
}

void SetLastError(DWORD error) {
    ::SetLastError(error);
}

} // namespace platform
