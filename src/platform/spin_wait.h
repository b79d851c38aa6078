#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace platform {

// A hand-over between two threads (a request posted to a worker, the event it
// sets when done) usually completes within microseconds; putting the waiting
// thread to sleep and waking it again costs more than that. A waiter that found
// nothing yet under `guard` watches the object's change count for a short
// while, with the lock let go, and only then goes to sleep on its condition.
// Watching is a matter of speed only: the lock is held again on return, and
// the caller tests the object under it, as it would after any wake-up.
inline void WatchBeforeSleeping(std::unique_lock<std::mutex>& guard,
                                const std::atomic<unsigned>& changes) {
    constexpr int kSpins = 10000; // some tens of microseconds
    const unsigned seen = changes.load(std::memory_order_relaxed);
    guard.unlock();
    for (int i = 0; i < kSpins && changes.load(std::memory_order_acquire) == seen; ++i)
        if (i % 64 == 63)
            std::this_thread::yield(); // lets the other thread in on a busy processor
    guard.lock();
}

} // namespace platform
