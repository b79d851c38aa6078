#pragma once

#include <atomic>
#include <thread>

namespace platform {

// A hand-over between two threads (a request posted to a worker, the event it
// sets when done) usually completes within microseconds; putting the waiting
// thread to sleep and waking it again costs more than that. A waiter that found
// nothing yet watches the object's change count for a short while, and only
// then goes to sleep on its condition. Returns true when the count moved.
// Spinning is a matter of speed only: the caller checks the object under its
// lock afterwards, as it would after any wake-up.
inline bool SpinUntilChanged(const std::atomic<unsigned>& changes, unsigned seen) {
    constexpr int kSpins = 1000; // some microseconds
    for (int i = 0; i < kSpins; ++i) {
        if (changes.load(std::memory_order_acquire) != seen)
            return true;
        if (i % 64 == 63)
            std::this_thread::yield(); // lets the other thread in on a busy processor
    }
    return changes.load(std::memory_order_acquire) != seen;
}

} // namespace platform
