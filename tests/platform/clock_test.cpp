#include "platform/clock.h"

#include <gtest/gtest.h>

using platform::ParseTimeScale;

TEST(Clock, TimeScaleText) {
    EXPECT_DOUBLE_EQ(ParseTimeScale(nullptr), 1.0);
    EXPECT_DOUBLE_EQ(ParseTimeScale(""), 1.0);
    EXPECT_DOUBLE_EQ(ParseTimeScale("0.01"), 0.01);
    EXPECT_DOUBLE_EQ(ParseTimeScale("2"), 2.0);
    // Nonsense never stops time or makes it run backwards.
    EXPECT_DOUBLE_EQ(ParseTimeScale("0"), 1.0);
    EXPECT_DOUBLE_EQ(ParseTimeScale("-1"), 1.0);
    EXPECT_DOUBLE_EQ(ParseTimeScale("fast"), 1.0);
    EXPECT_DOUBLE_EQ(ParseTimeScale("0.5x"), 1.0);
}

TEST(Clock, DurationsFollowTheScale) {
    platform::SetTimeScale(0.001);
    EXPECT_EQ(platform::RealDuration(30000), std::chrono::milliseconds(30));
    platform::SetTimeScale(1.0);
    EXPECT_EQ(platform::RealDuration(100), std::chrono::milliseconds(100));
}
