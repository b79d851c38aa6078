#pragma once

#include "device/message.h"

#include <atomic>

namespace testing_support {

// A message that counts its own destructions, to see who deletes what.
class CountedMessage : public CMessage {
public:
    CountedMessage(std::atomic<int>& destroyed, int type = kStart, int tag = 0)
        : destroyed_(destroyed), type_(type), tag_(tag) {}
    ~CountedMessage() override { ++destroyed_; }

    int type() const override { return type_; }
    int tag() const { return tag_; }

private:
    std::atomic<int>& destroyed_;
    int type_;
    int tag_;
};

} // namespace testing_support
