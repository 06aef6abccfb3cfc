#include "bridge/client_timeline.h"

#include <algorithm>

namespace orvix::bridge {

int64_t ClientTimeline::place(const FeedFrame& frame, int64_t nowNs) {
    if (!started_) {
        started_ = true;
        offset_ = nowNs - std::max(frame.newestNs, frame.timeNs);
    }
    int64_t time = frame.timeNs + offset_;
    if (time > nowNs) {
        // A recorder clock ahead of this one.
        offset_ = nowNs - frame.timeNs;
        time = nowNs;
    }
    time = std::max(time, last_ + kLeastStepNs);
    last_ = time;
    return time;
}

}  // namespace orvix::bridge
