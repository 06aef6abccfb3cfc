// Where one RTSP client's pictures go on its stream's running time. The
// first picture fixes the offset from the feed's timeline, so that the kept
// group a new client starts with keeps its own spacing and ends now (a
// player shows it at once, and can tell its pictures apart); the feed's
// times then carry on from there, outages included, never ahead of the
// running time (RTCP sender reports tie RTP times to it) and never backwards.
#pragma once

#include <cstdint>

#include "session/channel_feed.h"

namespace orvix::bridge {

class ClientTimeline {
public:
    static constexpr int64_t kLeastStepNs = 1000000;  // no two pictures share a time

    // The time of `frame` on the client's running time, which is `nowNs`.
    int64_t place(const FeedFrame& frame, int64_t nowNs);

private:
    bool started_ = false;
    int64_t offset_ = 0;  // running time minus feed time
    int64_t last_ = -kLeastStepNs;
};

}  // namespace orvix::bridge
