// Failed RTSP logins from one address: free at first, then each attempt
// waits longer, then the address is refused for a while; a success
// forgets; the log gets at most a line per address and minute.
#include <gtest/gtest.h>

#include "bridge/login_throttle.h"

namespace orvix::bridge {
namespace {

using namespace std::chrono_literals;
using Kind = LoginThrottle::Decision::Kind;

TEST(LoginThrottle, FailuresCostTimeThenTheAddressIsRefusedForAWhile) {
    ThrottlePolicy policy;
    policy.freeFailures = 2;
    policy.refuseAfter = 5;
    policy.firstDelay = 100ms;
    policy.longestDelay = 250ms;
    policy.refuseFor = 10s;
    LoginThrottle throttle(policy);
    const auto t0 = LoginThrottle::Clock::time_point() + 1h;
    const std::string a = "192.0.2.7";
    // After failures 0..4: free, free, 100, 200, 250 (longest), then refused.
    const std::chrono::milliseconds expected[] = {0ms, 0ms, 100ms, 200ms, 250ms};
    for (int failures = 0; failures < 5; ++failures) {
        const auto decision = throttle.admit(a, true, t0);
        if (expected[failures] == 0ms) {
            EXPECT_EQ(decision.kind, Kind::Pass) << failures;
        } else {
            EXPECT_EQ(decision.kind, Kind::Wait) << failures;
            EXPECT_EQ(decision.until - t0, expected[failures]) << failures;
        }
        EXPECT_EQ(throttle.admit(a, false, t0).kind, Kind::Pass);  // asking without credentials costs nothing
        throttle.failed(a, t0);
    }
    EXPECT_EQ(throttle.admit(a, true, t0 + 1s).kind, Kind::Refuse);
    EXPECT_EQ(throttle.admit(a, false, t0 + 1s).kind, Kind::Refuse);
    EXPECT_EQ(throttle.admit("192.0.2.8", true, t0).kind, Kind::Pass);  // other addresses are not touched
    EXPECT_EQ(throttle.admit(a, true, t0 + 11s).kind, Kind::Pass);       // refused for a while only
    EXPECT_EQ(throttle.failuresTotal(), 5u);

    // A login that succeeds forgets the failures.
    throttle.failed(a, t0 + 12s);
    throttle.failed(a, t0 + 12s);
    EXPECT_EQ(throttle.admit(a, true, t0 + 12s).kind, Kind::Wait);
    throttle.succeeded(a);
    EXPECT_EQ(throttle.admit(a, true, t0 + 12s).kind, Kind::Pass);
}

TEST(LoginThrottle, TheLogGetsOneLinePerAddressAndMinute) {
    ThrottlePolicy policy;
    policy.refuseAfter = 4;
    LoginThrottle throttle(policy);
    const auto t0 = LoginThrottle::Clock::time_point() + 1h;
    throttle.failed("192.0.2.7", t0);
    EXPECT_EQ(throttle.report(t0), std::vector<std::string>{"client 192.0.2.7: 1 failed RTSP login in the last minute"});
    for (int i = 0; i < 3; ++i) throttle.failed("192.0.2.7", t0 + 1s);
    EXPECT_TRUE(throttle.report(t0 + 30s).empty());
    EXPECT_EQ(throttle.report(t0 + 60s),
              std::vector<std::string>{"client 192.0.2.7: 3 failed RTSP logins in the last minute; refused for 9 min"});
    EXPECT_TRUE(throttle.report(t0 + 200s).empty());
}

}  // namespace
}  // namespace orvix::bridge
