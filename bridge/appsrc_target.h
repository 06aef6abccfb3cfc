// A channel feed's pictures into the appsrc of one client's RTSP media, at
// the times its ClientTimeline gives them on the pipeline's running time.
// The pipeline runs on the clock's own time (no base time of its own), so
// that a kept group can be placed before now. A queue holding more than its
// limit refuses the picture (the feed then skips this target to the next
// key picture).
#pragma once

#include <gst/app/gstappsrc.h>

#include <cstddef>
#include <cstdint>

#include "bridge/client_timeline.h"
#include "media/video_codec.h"
#include "session/channel_feed.h"

namespace orvix::bridge {

// The caps an appsrc gets for `codec` (null for none); the caller unrefs.
GstCaps* appsrcCaps(VideoCodec codec);
// Configures `appsrc` for a feed: live, times in nanoseconds, never blocks.
void configureAppsrc(GstElement* appsrc, VideoCodec codec);

class AppsrcTarget final : public FeedTarget {
public:
    static constexpr size_t kMaxQueuedBytes = 4u << 20;

    explicit AppsrcTarget(GstElement* appsrc);  // takes a reference
    ~AppsrcTarget() override;
    AppsrcTarget(const AppsrcTarget&) = delete;
    AppsrcTarget& operator=(const AppsrcTarget&) = delete;

    bool offer(const FeedFrame& frame) override;
    void end() override;

private:
    int64_t runningTimeNow(int64_t arrivalNs);

    GstAppSrc* appsrc_;
    ClientTimeline timeline_;
    int64_t arrivalBase_ = 0;  // without a clock: running time counts from the first arrival
};

}  // namespace orvix::bridge
