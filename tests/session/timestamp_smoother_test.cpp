// Recorder times count whole seconds: the smoother must turn them into a
// timeline at the frame rate that always grows, whatever the clock does.
#include <gtest/gtest.h>

#include <vector>

#include "session/timestamp_smoother.h"

namespace orvix {
namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kSecond = TimestampSmoother::kSecond;

// Feeds `perSecond` pictures for each recorder second in [first, last],
// arriving evenly; returns their times.
struct Feeder {
    TimestampSmoother smoother;
    int64_t arrival = 0;
    std::vector<int64_t> times;

    void second(int64_t recorderSecond, int pictures, int64_t spacing) {
        for (int i = 0; i < pictures; ++i) {
            times.push_back(smoother.next(recorderSecond, arrival));
            arrival += spacing;
        }
    }
};

void expectGrowing(const std::vector<int64_t>& times) {
    for (size_t i = 1; i < times.size(); ++i) ASSERT_GT(times[i], times[i - 1]) << "picture " << i;
}

TEST(TimestampSmoother, PicturesOfASecondAreSpreadAtTheRateAndSecondsFollowEachOther) {
    for (int rate : {25, 30, 10}) {
        SCOPED_TRACE(rate);
        Feeder f;
        const int64_t spacing = kSecond / rate;
        f.second(1000, 7, spacing);  // the stream begins in the middle of a second
        for (int64_t s = 1001; s <= 1004; ++s) f.second(s, rate, spacing);
        expectGrowing(f.times);

        // The partial first second is spaced by the arrivals, and the next
        // one follows at the same spacing.
        EXPECT_NEAR(f.times[1] - f.times[0], spacing, kMs);
        EXPECT_NEAR(f.times[7] - f.times[6], spacing, kMs);
        // From the first whole second on: the measured rate, whole seconds.
        for (int second = 1; second < 4; ++second) {
            const size_t start = 7 + static_cast<size_t>(second * rate);
            EXPECT_NEAR(f.times[start] - f.times[start - static_cast<size_t>(rate)], kSecond, kMs);
            EXPECT_NEAR(f.times[start + 1] - f.times[start], spacing, kMs);
        }
        EXPECT_NEAR(f.smoother.rate(), rate, 0.01);
    }
}

TEST(TimestampSmoother, UnevenCountsAndBurstsKeepTheSpacingAndStayNearTheRecordersTime) {
    Feeder f;
    for (int64_t s = 10; s <= 12; ++s) f.second(s, 25, 40 * kMs);
    // A recorder counts 24, 26, 25 pictures in its seconds as its clock and
    // its pictures drift: the pictures stay evenly spaced.
    size_t mark = f.times.size();
    f.second(13, 24, 40 * kMs);
    f.second(14, 26, 40 * kMs);
    f.second(15, 25, 40 * kMs);
    for (size_t i = mark + 1; i < f.times.size(); ++i) EXPECT_NEAR(f.times[i] - f.times[i - 1], 40 * kMs, 2 * kMs);

    // Far more pictures than a second holds: in order, the timeline runs
    // ahead of the recorder's time by no more than two seconds (second 18
    // starts 2 s after second 16 on the recorder), and the spacing returns.
    const size_t burst = f.times.size();
    f.second(16, 60, 16 * kMs);
    f.second(17, 25, 40 * kMs);
    const size_t after = f.times.size();
    f.second(18, 25, 40 * kMs);
    expectGrowing(f.times);
    EXPECT_GE(f.times[after] - f.times[burst], 2 * kSecond);
    EXPECT_LE(f.times[after] - f.times[burst], 4 * kSecond);
    EXPECT_NEAR(f.times[after + 1] - f.times[after], 40 * kMs, 2 * kMs);
}

TEST(TimestampSmoother, ClockJumpsAndGapsKeepTheTimelineGrowing) {
    Feeder f;
    for (int64_t s = 100; s <= 102; ++s) f.second(s, 25, 40 * kMs);
    // Three seconds without pictures stay a gap of three seconds.
    size_t mark = f.times.size();
    f.second(106, 25, 40 * kMs);
    EXPECT_EQ(f.times[mark] - f.times[mark - 25], 4 * kSecond);

    // The clock set back, or far ahead: the timeline goes on one picture later.
    for (int64_t jumpTo : {int64_t{50}, int64_t{50 + 86400}}) {
        const int64_t last = f.times.back();
        mark = f.times.size();
        f.second(jumpTo, 25, 40 * kMs);
        f.second(jumpTo + 1, 25, 40 * kMs);
        EXPECT_NEAR(f.times[mark] - last, 40 * kMs, kMs);
    }
    expectGrowing(f.times);

    // Pictures whose times repeat the same second for long still grow.
    mark = f.times.size();
    f.second(f.times.size(), 500, 40 * kMs);
    expectGrowing(f.times);

    f.smoother.reset();
    EXPECT_EQ(f.smoother.next(7, 0), 0);
}

TEST(TimestampSmoother, AfterAnOutageTheTimelineGoesOnByTheTimeThePicturesWereAway) {
    Feeder f;
    for (int64_t s = 100; s <= 103; ++s) f.second(s, 25, 40 * kMs);
    const int64_t last = f.times.back();
    const double rate = f.smoother.rate();

    // Away for 7.5 s of arrival time; the recorder's clock meanwhile moved
    // to somewhere else entirely (a restarted recorder).
    f.smoother.resume();
    f.arrival += 7500 * kMs;
    const size_t mark = f.times.size();
    for (int64_t s = 5000; s <= 5002; ++s) f.second(s, 25, 40 * kMs);
    EXPECT_NEAR(f.times[mark] - last, 7540 * kMs, kMs);
    EXPECT_EQ(f.smoother.rate(), rate);  // the measured rate is kept
    // The pictures after it keep their spacing and the seconds their length.
    EXPECT_NEAR(f.times[mark + 1] - f.times[mark], 40 * kMs, kMs);
    EXPECT_NEAR(f.times[mark + 50] - f.times[mark + 25], kSecond, 2 * kMs);
    expectGrowing(f.times);

    // Before any picture there is nothing to go on from: a fresh start.
    TimestampSmoother fresh;
    fresh.resume();
    EXPECT_EQ(fresh.next(9, 12345), 0);
}

}  // namespace
}  // namespace orvix
