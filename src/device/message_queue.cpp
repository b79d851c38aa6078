#include "device/message_queue.h"

#include "platform/clock.h"

#include <mutex>
#include <utility>

CMessageQueue::~CMessageQueue() {
    if (owner_)
        clear();
}

void CMessageQueue::post(std::unique_ptr<CMessage> message) {
    if (!message)
        return;
    std::lock_guard<CSpinLock> guard(lock_);
    messages_.push_back(std::move(message));
}

std::unique_ptr<CMessage> CMessageQueue::take(bool wait) {
    for (;;) {
        {
            std::lock_guard<CSpinLock> guard(lock_);
            if (!messages_.empty()) {
                std::unique_ptr<CMessage> head = std::move(messages_.front());
                messages_.pop_front();
                return head;
            }
        }
        if (!wait)
            return nullptr;
        platform::Sleep(1);
    }
}

std::vector<std::unique_ptr<CMessage>> CMessageQueue::takeAll() {
    std::deque<std::unique_ptr<CMessage>> taken;
    {
        std::lock_guard<CSpinLock> guard(lock_);
        taken.swap(messages_);
    }
    return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
}

void CMessageQueue::clear() {
    while (take(false))
        ;
}

void CMessageQueue::skipUntil(int type) {
    for (;;) {
        if (take(true)->type() == type)
            return;
    }
}

std::size_t CMessageQueue::size() const {
    std::lock_guard<CSpinLock> guard(lock_);
    return messages_.size();
}
