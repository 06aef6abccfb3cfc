// One client's pictures on its running time: a kept group keeps its spacing
// and ends now, times never run ahead of now and never go back.
#include <gtest/gtest.h>

#include "bridge/client_timeline.h"

namespace orvix::bridge {
namespace {

constexpr int64_t kMs = 1000000;

FeedFrame frame(int64_t timeMs, int64_t newestMs) {
    FeedFrame f;
    f.timeNs = timeMs * kMs;
    f.newestNs = newestMs * kMs;
    return f;
}

TEST(ClientTimeline, AKeptGroupKeepsItsSpacingEndsNowAndLiveTimesFollow) {
    ClientTimeline timeline;
    const int64_t now = 50000 * kMs;
    // Three kept pictures 40 ms apart, handed over at once.
    EXPECT_EQ(timeline.place(frame(1000, 1080), now), now - 80 * kMs);
    EXPECT_EQ(timeline.place(frame(1040, 1080), now), now - 40 * kMs);
    EXPECT_EQ(timeline.place(frame(1080, 1080), now), now);
    // The next picture comes 40 ms later.
    EXPECT_EQ(timeline.place(frame(1120, 1120), now + 40 * kMs), now + 40 * kMs);
    // An outage of 5 s is a gap on the same timeline.
    EXPECT_EQ(timeline.place(frame(6120, 6120), now + 5040 * kMs), now + 5040 * kMs);
}

TEST(ClientTimeline, TimesNeitherRunAheadOfNowNorGoBack) {
    ClientTimeline timeline;
    const int64_t now = 10000 * kMs;
    EXPECT_EQ(timeline.place(frame(500, 500), now), now);
    // A recorder clock that runs fast is held at now.
    EXPECT_EQ(timeline.place(frame(700, 700), now + 40 * kMs), now + 40 * kMs);
    // A picture stamped the same as the last one still gets a time of its own.
    EXPECT_EQ(timeline.place(frame(700, 700), now + 40 * kMs), now + 41 * kMs);
    EXPECT_EQ(timeline.place(frame(650, 650), now + 80 * kMs), now + 42 * kMs);
    // A group longer than the running time so far starts at 0.
    ClientTimeline young;
    EXPECT_EQ(young.place(frame(0, 2000), 500 * kMs), 0);
    EXPECT_EQ(young.place(frame(40, 2000), 500 * kMs), kMs);
}

}  // namespace
}  // namespace orvix::bridge
