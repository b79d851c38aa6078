#include "platform/sync.h"

#include "platform/clock.h"
#include "platform/spin_wait.h"
#include "platform/system_info.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// One lock for every kernel object, and a condition of each object's own: a
// signal wakes only the threads waiting on that object (a device command
// signals several events, and waking every waiting thread of the process for
// each of them cost more than the command). Holding the one lock while an
// object changes and while a waiter tests it, no wait can miss a signal.
std::mutex& objectLock() {
    // Like the system's, these outlive every other object of the program: a
    // thread still waiting on them while the program ends must not find them
    // destroyed under it.
    static std::mutex& lock = *new std::mutex;
    return lock;
}

struct KernelObject {
    virtual ~KernelObject() = default;
    // Called with the object lock held; consumes the signal of an auto-reset event.
    virtual bool tryAcquire() = 0;
    // Notified, with the object lock held, whenever the object changes. Waiters
    // hold the object, so it outlives their wait even when its handle is closed.
    std::condition_variable changed;
    // Counts the changes, for waiters that watch it before they sleep.
    std::atomic<unsigned> changes{0};
    // With the object lock held.
    void notify() {
        changes.fetch_add(1, std::memory_order_release);
        changed.notify_all();
    }
};

struct Event final : KernelObject {
    Event(bool manual, bool initial) : manualReset(manual), set(initial) {}
    bool tryAcquire() override {
        if (!set)
            return false;
        if (!manualReset)
            set = false;
        return true;
    }
    bool manualReset;
    bool set;
};

struct Thread final : KernelObject {
    bool tryAcquire() override { return ended; }
    bool reported = false; // the thread has stored its id
    bool resumed = false;
    bool ended = false;
    DWORD id = 0;
    DWORD exitCode = STILL_ACTIVE;
    ThreadProc proc = nullptr;
    void* argument = nullptr;
    std::thread worker;
};

struct HandleTable {
    std::map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    std::uintptr_t next = 4;

    ~HandleTable() {
        // Threads still running at exit are left to end with the process.
        for (auto& [value, object] : objects)
            if (auto* thread = dynamic_cast<Thread*>(object.get());
                thread != nullptr && thread->worker.joinable())
                thread->worker.detach();
    }
};

HandleTable& handles() {
    // Like the system's, these outlive every other object of the program: a
    // thread still waiting on them while the program ends must not find them
    // destroyed under it.
    static HandleTable& table = *new HandleTable;
    return table;
}

thread_local DWORD lastError = 0;

HANDLE insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> guard(objectLock());
    auto& table = handles();
    const std::uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

// With the object lock held.
std::shared_ptr<KernelObject> find(HANDLE handle) {
    auto& objects = handles().objects;
    auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects.end() ? nullptr : it->second;
}

template <typename T> std::shared_ptr<T> findAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(find(handle));
}

// The thread exists from CreateThread on, so that its id is known at once; a
// suspended one waits for ResumeThread before it runs its procedure.
void runThread(std::shared_ptr<Thread> thread) {
    {
        std::unique_lock<std::mutex> guard(objectLock());
        thread->id = GetCurrentThreadId();
        thread->reported = true;
        thread->notify();
        thread->changed.wait(guard, [&] { return thread->resumed; });
    }
    const DWORD result = thread->proc(thread->argument);
    std::lock_guard<std::mutex> guard(objectLock());
    thread->exitCode = result;
    thread->ended = true;
    thread->notify();
}

} // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    return insert(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE handle) {
    std::lock_guard<std::mutex> guard(objectLock());
    auto event = findAs<Event>(handle);
    if (!event) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    event->set = true;
    event->notify();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    std::lock_guard<std::mutex> guard(objectLock());
    auto event = findAs<Event>(handle);
    if (!event) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    event->set = false;
    return TRUE;
}

HANDLE CreateThread(void*, std::size_t, ThreadProc proc, void* argument, DWORD flags,
                    DWORD* threadId) {
    auto thread = std::make_shared<Thread>();
    thread->proc = proc;
    thread->argument = argument;
    thread->resumed = (flags & CREATE_SUSPENDED) == 0;
    HANDLE handle = insert(thread);
    std::unique_lock<std::mutex> guard(objectLock());
    thread->worker = std::thread(runThread, thread);
    thread->changed.wait(guard, [&] { return thread->reported; });
    if (threadId != nullptr)
        *threadId = thread->id;
    return handle;
}

DWORD ResumeThread(HANDLE handle) {
    std::lock_guard<std::mutex> guard(objectLock());
    auto thread = findAs<Thread>(handle);
    if (!thread) {
        lastError = ERROR_INVALID_HANDLE;
        return 0xFFFFFFFFu;
    }
    if (thread->resumed)
        return 0;
    thread->resumed = true;
    thread->notify();
    return 1;
}

BOOL TerminateThread(HANDLE handle, DWORD) {
    std::lock_guard<std::mutex> guard(objectLock());
    lastError = findAs<Thread>(handle) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE;
    return FALSE;
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) {
    std::lock_guard<std::mutex> guard(objectLock());
    auto thread = findAs<Thread>(handle);
    if (!thread || exitCode == nullptr) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *exitCode = thread->exitCode;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(objectLock());
    auto object = find(handle);
    if (!object) {
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    auto acquired = [&] { return object->tryAcquire(); };
    if (acquired())
        return WAIT_OBJECT_0;
    if (milliseconds != 0)
        WatchBeforeSleeping(guard, object->changes);
    if (milliseconds == INFINITE) {
        object->changed.wait(guard, acquired);
        return WAIT_OBJECT_0;
    }
    const auto deadline = std::chrono::steady_clock::now() + RealDuration(milliseconds);
    return object->changed.wait_until(guard, deadline, acquired) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard<std::mutex> guard(objectLock());
        auto& objects = handles().objects;
        auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == objects.end()) {
            lastError = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        object = std::move(it->second);
        objects.erase(it);
    }
    // A thread whose handle is closed goes on running on its own, as on Windows.
    if (auto* thread = dynamic_cast<Thread*>(object.get()); thread && thread->worker.joinable()) {
        if (thread->worker.get_id() == std::this_thread::get_id())
            thread->worker.detach();
        else {
            std::unique_lock<std::mutex> guard(objectLock());
            const bool ended = thread->ended;
            guard.unlock();
            if (ended)
                thread->worker.join();
            else
                thread->worker.detach();
        }
    }
    return TRUE;
}

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}

} // namespace platform
