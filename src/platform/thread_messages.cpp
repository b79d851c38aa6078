#include "platform/thread_messages.h"

#include "platform/clock.h"
#include "platform/spin_wait.h"
#include "platform/sync.h"
#include "platform/system_info.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {

struct Queue {
    std::deque<MSG> messages;
    // Wakes the queue's own thread only.
    std::condition_variable posted;
    // Counts the messages posted, for a thread that watches it before it sleeps.
    std::atomic<unsigned> posts{0};
    // With the lock held.
    void push(const MSG& message) {
        messages.push_back(message);
        posts.fetch_add(1, std::memory_order_release);
        posted.notify_all();
    }
};

struct Queues {
    std::mutex lock;
    std::map<DWORD, std::shared_ptr<Queue>> byThread;
};

Queues& queues() {
    // Like the system's, these outlive every other object of the program: a
    // thread still waiting on them while the program ends must not find them
    // destroyed under it.
    static Queues& instance = *new Queues;
    return instance;
}

// With the lock held.
Queue& ownQueue(Queues& q) {
    auto& slot = q.byThread[GetCurrentThreadId()];
    if (!slot)
        slot = std::make_shared<Queue>();
    return *slot;
}

bool inRange(const MSG& message, UINT first, UINT last) {
    if (first == 0 && last == 0)
        return true;
    return message.message >= first && message.message <= last;
}

// With the lock held; removes the first message in range when asked.
bool take(Queue& queue, MSG* out, UINT first, UINT last, bool remove) {
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
        if (!inRange(*it, first, last))
            continue;
        if (out != nullptr)
            *out = *it;
        if (remove)
            queue.messages.erase(it);
        return true;
    }
    return false;
}

} // namespace

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& q = queues();
    std::lock_guard<std::mutex> guard(q.lock);
    auto it = q.byThread.find(threadId);
    if (it == q.byThread.end()) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    it->second->push(MSG{nullptr, message, wParam, lParam, static_cast<DWORD>(GetTickCount())});
    return TRUE;
}

BOOL GetMessageA(MSG* message, HWND, UINT first, UINT last) {
    auto& q = queues();
    std::unique_lock<std::mutex> guard(q.lock);
    Queue& queue = ownQueue(q);
    MSG taken{};
    const auto found = [&] { return take(queue, &taken, first, last, true); };
    if (!found()) {
        WatchBeforeSleeping(guard, queue.posts);
        queue.posted.wait(guard, found);
    }
    if (message != nullptr)
        *message = taken;
    return taken.message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageA(MSG* message, HWND, UINT first, UINT last, UINT remove) {
    auto& q = queues();
    std::lock_guard<std::mutex> guard(q.lock);
    return take(ownQueue(q), message, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) {
    auto& q = queues();
    std::lock_guard<std::mutex> guard(q.lock);
    Queue& queue = ownQueue(q);
    queue.push(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0,
                   static_cast<DWORD>(GetTickCount())});
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LPARAM DispatchMessageA(const MSG*) {
    return 0;
}

HRESULT CoInitialize(void*) {
    return S_OK;
}

void CoUninitialize() {}

} // namespace platform
