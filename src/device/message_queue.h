#pragma once

#include "device/message.h"
#include "device/spin_lock.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

// First-in-first-out queue of messages between the dialog and its worker
// threads. post() gives a message up to the queue; take() hands it to the
// taker, who owns it from then on. A queue is guarded by its own spin lock,
// held only while a pointer moves in or out: waiting is done by polling every
// 1 ms with the lock released, and no message is ever destroyed under it.
//
// The owner flag says who answers for messages still queued when the queue
// goes. An owning queue clears itself (deletes them) on destruction. A
// non-owning queue leaves that to whoever it holds them for, who collects them
// with take() or takeAll() before the queue goes. Since the queue stores
// unique_ptrs, anything a non-owning queue still holds at its end is deleted
// with it all the same: losing track of a message must not become a leak.
class CMessageQueue {
public:
    explicit CMessageQueue(bool owner = true) : owner_(owner) {}
    ~CMessageQueue();
    CMessageQueue(const CMessageQueue&) = delete;
    CMessageQueue& operator=(const CMessageQueue&) = delete;

    bool owner() const { return owner_; }

    // Appends at the tail. A null message is dropped: take() could not tell it
    // from an empty queue.
    void post(std::unique_ptr<CMessage> message);

    // Removes and returns the head. On an empty queue returns null at once
    // when `wait` is false; otherwise polls every 1 ms until a message comes.
    std::unique_ptr<CMessage> take(bool wait);

    // Takes everything queued now, in order, leaving the queue empty.
    std::vector<std::unique_ptr<CMessage>> takeAll();

    // Takes and deletes messages until the queue is empty.
    void clear();

    // Takes messages, waiting for each, and deletes them up to and including
    // the first one of `type`.
    void skipUntil(int type);

    std::size_t size() const;

private:
    mutable CSpinLock lock_;
    std::deque<std::unique_ptr<CMessage>> messages_;
    bool owner_;
};
