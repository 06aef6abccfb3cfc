// The reconnect delays: the default plan, the spread around it, the cap, and
// the test timing text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "link/reconnect_policy.h"

using namespace orvix;

TEST(ReconnectPolicy, DefaultPlanDoublesFromOneSecondUpToThirty) {
    const ReconnectPolicy policy;
    EXPECT_FALSE(policy.enabled);
    std::vector<int> delays;
    for (int attempt = 1; attempt <= 9; ++attempt) delays.push_back(policy.baseDelayMs(attempt));
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000, 30000}));
    // Far attempts neither overflow nor leave the cap.
    EXPECT_EQ(policy.baseDelayMs(1000000), 30000);
    EXPECT_EQ(policy.stallMs, 10000);
    EXPECT_EQ(policy.videoSilenceMs, 10000);
    EXPECT_EQ(policy.maxAttempts, 0);
}

TEST(ReconnectPolicy, SpreadStaysWithinTwentyPercentAndVaries) {
    const ReconnectPolicy policy;
    std::mt19937 random(7);
    for (const int attempt : {1, 3, 6, 40}) {
        const int base = policy.baseDelayMs(attempt);
        int low = base * 2, high = 0;
        for (int i = 0; i < 2000; ++i) {
            const int delay = policy.delayMs(attempt, random);
            ASSERT_GE(delay, base * 8 / 10) << attempt;
            ASSERT_LE(delay, base * 12 / 10) << attempt;
            low = std::min(low, delay);
            high = std::max(high, delay);
        }
        // Clients that lost the recorder together come back spread out,
        // over most of the allowed band.
        EXPECT_LT(low, base * 85 / 100);
        EXPECT_GT(high, base * 115 / 100);
    }
}

TEST(ReconnectPolicy, TestTimingTextShortensOnlyWhenWellFormed) {
    ReconnectPolicy policy;
    EXPECT_TRUE(applyTestTiming(policy, "100,400,800"));
    EXPECT_EQ(policy.firstDelayMs, 100);
    EXPECT_EQ(policy.maxDelayMs, 400);
    EXPECT_EQ(policy.stallMs, 800);
    EXPECT_EQ(policy.videoSilenceMs, 800);
    EXPECT_EQ(policy.baseDelayMs(4), 400);
    EXPECT_EQ(policy.answerMs, 10000);
    EXPECT_TRUE(applyTestTiming(policy, "100,400,800,250"));
    EXPECT_EQ(policy.answerMs, 250);
    for (const char* bad : {"", "100", "100,400", "0,400,800", "100;400;800", "-1,2,3", "a,b,c", "100,400,800,",
                            "100,400,800,0", "100,400,800;250"}) {
        ReconnectPolicy untouched;
        EXPECT_FALSE(applyTestTiming(untouched, bad)) << bad;
        EXPECT_EQ(untouched.firstDelayMs, 1000) << bad;
        EXPECT_EQ(untouched.stallMs, 10000) << bad;
    }
    ::unsetenv("ORVIX_TEST_RECONNECT_MS");
    EXPECT_EQ(reconnectPolicyFromEnvironment(true).firstDelayMs, 1000);
    EXPECT_TRUE(reconnectPolicyFromEnvironment(true).enabled);
}
