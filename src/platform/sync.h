#pragma once

#include "platform/win_types.h"

#include <functional>

// Kernel objects shaped as the Windows calls: events and threads behind
// handles, and the waits on them. On Windows they are the system's; on Linux
// a handle is a small number (a multiple of four, as on Windows). Either way
// it fits the 32-bit handle fields of request blocks. Timed waits go through
// the program's clock.
namespace platform {

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x4;

HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

using ThreadProc = DWORD (*)(void* argument);
// Starts `proc(argument)` on a new thread, or keeps it waiting for ResumeThread
// with CREATE_SUSPENDED. The thread id (what GetCurrentThreadId reports on
// that thread) is stored when `threadId` is given.
HANDLE CreateThread(void* attributes, std::size_t stackSize, ThreadProc proc, void* argument,
                    DWORD flags, DWORD* threadId);
DWORD ResumeThread(HANDLE thread);
// Stops a thread from outside. On Linux a thread cannot be stopped so: always
// FALSE (ERROR_NOT_SUPPORTED); callers fall back to leaving it to end with the
// process.
BOOL TerminateThread(HANDLE thread, DWORD exitCode);
// STILL_ACTIVE while the thread runs, then its return value.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Signalled: an event that is set, a thread that has ended.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL CloseHandle(HANDLE object);

// The last error of the calling thread (kernel object calls set it on failure).
DWORD GetLastError();
void SetLastError(DWORD error);

constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;

} // namespace platform
