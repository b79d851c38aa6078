#pragma once

#include <atomic>
#include <cstdint>

// The lock word that guards a message queue (and, later, the serial use of a
// transport). Taking it exchanges 1 into the word; while the word was already
// 1 the taker sleeps 1 ms and tries again. There is no event and no owner
// thread: whoever took it releases it by storing 0.
//
// Satisfies BasicLockable, so std::lock_guard<CSpinLock> works. Hold it only
// around a few pointer moves; never while waiting for something else.
class CSpinLock {
public:
    CSpinLock() = default;
    CSpinLock(const CSpinLock&) = delete;
    CSpinLock& operator=(const CSpinLock&) = delete;

    void lock();
    void unlock() { word_.store(0, std::memory_order_release); }

private:
    std::atomic<std::uint32_t> word_{0};
};
