#include "device/message_queue.h"
#include "device/messages.h"

#include "counted_message.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <memory>

using testing_support::CountedMessage;

namespace {

TEST(MessageQueue, TakeWithoutWaitOnEmptyQueueReturnsNullAtOnce) {
    CMessageQueue queue;
    const auto before = platform::GetTickCount64();
    EXPECT_EQ(queue.take(false), nullptr);
    EXPECT_LT(platform::GetTickCount64() - before, 50u);
}

TEST(MessageQueue, HandsMessagesOutInPostingOrderAndDropsNull) {
    CMessageQueue queue;
    queue.post(std::make_unique<CMessageStart>());
    queue.post(nullptr);
    queue.post(std::make_unique<CMessageLong>(CMessageAny::kTotalBytes, 8192));
    EXPECT_EQ(queue.take(false)->type(), CMessage::kStart);
    auto number = queue.take(false);
    ASSERT_EQ(number->type(), CMessage::kLong);
    EXPECT_EQ(static_cast<CMessageLong&>(*number).value(), 8192);
    EXPECT_EQ(queue.take(false), nullptr);
}

TEST(MessageQueue, SkipUntilEndDeletesEverythingUpToAndIncludingIt) {
    std::atomic<int> destroyed{0};
    CMessageQueue queue;
    for (int type :
         {CMessage::kStart, CMessage::kPageStart, CMessage::kAddressData, CMessage::kEnd})
        queue.post(std::make_unique<CountedMessage>(destroyed, type));
    queue.post(std::make_unique<CountedMessage>(destroyed, CMessage::kPageEnd, 7));

    queue.skipUntil(CMessage::kEnd);

    EXPECT_EQ(destroyed, 4);
    auto rest = queue.take(false);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(static_cast<CountedMessage&>(*rest).tag(), 7);
}

TEST(MessageQueueOwnership, OwningQueueDeletesWhatIsLeftWhenItGoes) {
    std::atomic<int> destroyed{0};
    {
        CMessageQueue queue(true);
        queue.post(std::make_unique<CountedMessage>(destroyed));
        queue.post(std::make_unique<CountedMessage>(destroyed));
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 2);
}

TEST(MessageQueueOwnership, NonOwningQueueLeavesMessagesToItsOwnerButNeverLeaks) {
    std::atomic<int> destroyed{0};
    std::vector<std::unique_ptr<CMessage>> collected;
    {
        CMessageQueue queue(false);
        for (int tag = 1; tag <= 3; ++tag)
            queue.post(std::make_unique<CountedMessage>(destroyed, CMessage::kStart, tag));
        collected = queue.takeAll();
        EXPECT_EQ(queue.size(), 0u);
        queue.post(std::make_unique<CountedMessage>(destroyed)); // nobody collects this one
    }
    EXPECT_EQ(destroyed, 1);
    ASSERT_EQ(collected.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(static_cast<CountedMessage&>(*collected[i]).tag(), i + 1);
}

} // namespace
