#include "device/message_queue.h"
#include "device/messages.h"

#include "counted_message.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using testing_support::CountedMessage;

namespace {

TEST(MessageQueueThreads, WaitingTakeReceivesAMessagePostedLater) {
    CMessageQueue queue;
    std::thread poster([&queue] {
        platform::Sleep(30);
        queue.post(std::make_unique<CMessageLong>(CMessageAny::kBytesCompared, 512));
    });
    auto message = queue.take(true);
    poster.join();
    ASSERT_NE(message, nullptr);
    ASSERT_EQ(message->type(), CMessage::kLong);
    EXPECT_EQ(static_cast<CMessageLong&>(*message).value(), 512);
}

TEST(MessageQueueThreads, ManyProducersLoseNothingAndKeepEachOnesOrder) {
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 400;
    std::atomic<int> destroyed{0};
    CMessageQueue queue;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i)
                queue.post(std::make_unique<CountedMessage>(destroyed, p, p * kPerProducer + i));
        });

    // Checked only after the producers are joined, so a failure cannot leave them running.
    std::vector<std::vector<int>> received(kProducers);
    for (int n = 0; n < kProducers * kPerProducer; ++n) {
        auto message = queue.take(true);
        const auto& counted = static_cast<CountedMessage&>(*message);
        received.at(counted.type()).push_back(counted.tag());
    }
    for (auto& producer : producers)
        producer.join();

    for (int p = 0; p < kProducers; ++p) {
        ASSERT_EQ(received[p].size(), static_cast<std::size_t>(kPerProducer)) << "producer " << p;
        for (int i = 0; i < kPerProducer; ++i)
            ASSERT_EQ(received[p][i], p * kPerProducer + i) << "producer " << p;
    }
    EXPECT_EQ(queue.take(false), nullptr);
    EXPECT_EQ(destroyed, kProducers * kPerProducer);
}

TEST(MessageQueueThreads, SkipUntilWaitsForTheEndToArrive) {
    std::atomic<int> destroyed{0};
    CMessageQueue queue;
    queue.post(std::make_unique<CountedMessage>(destroyed, CMessage::kStart));
    std::thread producer([&] {
        platform::Sleep(20);
        queue.post(std::make_unique<CountedMessage>(destroyed, CMessage::kAddressData));
        platform::Sleep(20);
        queue.post(std::make_unique<CountedMessage>(destroyed, CMessage::kEnd));
    });
    queue.skipUntil(CMessage::kEnd);
    producer.join();
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(queue.size(), 0u);
}

} // namespace
