// Playback's transitions, where jumps land, and the span a decoder's tap is
// given.
#include <gtest/gtest.h>

#include <vector>

#include "session/playback_state.h"
#include "session/tap_gate.h"

using namespace orvix;

namespace {

class CountingTap final : public DecodeTap {
public:
    void decoderInput(const uint8_t*, size_t) override { ++packets; }
    int packets = 0;
};

}  // namespace

TEST(PlaybackState, EachEventLeadsToItsStep) {
    using P = PlaybackPhase;
    using E = PlaybackEvent;
    using A = PlaybackAction;
    struct Row {
        P from;
        E event;
        P to;
        A action;
    };
    const std::vector<Row> rows = {
        {P::Live, E::Play, P::Playing, A::Search},
        {P::Paused, E::Play, P::Playing, A::Search},
        {P::Playing, E::Pause, P::Paused, A::Halt},
        {P::Live, E::Pause, P::Live, A::None},
        {P::Paused, E::Resume, P::Playing, A::Search},
        {P::Playing, E::Resume, P::Playing, A::None},
        {P::Live, E::Resume, P::Live, A::None},
        {P::Paused, E::GoLive, P::Live, A::EndSearch},
        // The range request stopped the video: what was shown comes back.
        {P::Live, E::RangeAnswered, P::Live, A::AskVideo},
        {P::Playing, E::RangeAnswered, P::Playing, A::Search},
        {P::Paused, E::RangeAnswered, P::Paused, A::None},
        {P::Playing, E::Reconnected, P::Live, A::None},
    };
    for (const Row& row : rows) {
        const PlaybackStep step = nextPlayback(row.from, row.event);
        EXPECT_EQ(step.phase, row.to) << static_cast<int>(row.from) << " " << static_cast<int>(row.event);
        EXPECT_EQ(step.action, row.action) << static_cast<int>(row.from) << " " << static_cast<int>(row.event);
    }
}

TEST(PlaybackState, JumpsStayInsideTheRangeAndTheThirtyTwoBits) {
    EXPECT_EQ(jumpTarget(1000, 10, 900, 2000), 1010u);
    EXPECT_EQ(jumpTarget(1000, -600, 900, 2000), 900u);
    EXPECT_EQ(jumpTarget(1990, 60, 900, 2000), 2000u);
    EXPECT_EQ(jumpTarget(5, -60, 0, 0), 0u);  // no range known
    EXPECT_EQ(jumpTarget(UINT32_MAX - 5, 60, 0, 0), UINT32_MAX);
}

TEST(TapGate, ASpanPassesItsPacketsFromTheFirstInsideUntilOnePastItsEnd) {
    std::atomic<int64_t> seconds{-1};
    TapGate gate(seconds);
    CountingTap tap;
    gate.set(&tap);
    gate.setSpan(100, 103);
    // Live pictures still coming, then recorded ones from before the span
    // (ignored while waiting), its three seconds, the end, and after it.
    const std::vector<int64_t> times = {5000, 99, 100, 101, 101, 102, 103, 102, 101};
    std::vector<TapGate::Span> states;
    for (int64_t t : times) {
        seconds.store(t);
        gate.decoderInput(nullptr, 0);
        states.push_back(gate.span());
    }
    EXPECT_EQ(tap.packets, 4);
    EXPECT_EQ(states[1], TapGate::Span::Waiting);
    EXPECT_EQ(states[2], TapGate::Span::Inside);
    EXPECT_EQ(states[6], TapGate::Span::Ended);
    gate.clearSpan();
    gate.decoderInput(nullptr, 0);
    EXPECT_EQ(tap.packets, 5);
}
