// A channel feed's pictures into a GStreamer appsrc (of an RTSP media or of
// a publisher). Each picture's time is its smoothed recorder time, moved so
// that the first picture falls on the pipeline's running time at that
// moment; times always grow. Where the pipeline's sinks wait for each
// picture's time (a publisher), times are also kept from running ahead of
// the running time, so no picture is held back. A queue holding more than
// its limit refuses the picture (the feed then skips this target to the
// next key picture).
#pragma once

#include <gst/app/gstappsrc.h>

#include <cstddef>
#include <cstdint>

#include "bridge/channel_feed.h"
#include "video/video_codec.h"

namespace orvix::bridge {

// The caps an appsrc gets for `codec` (null for none); the caller unrefs.
GstCaps* appsrcCaps(VideoCodec codec);
// Configures `appsrc` for a feed: live, times in nanoseconds, never blocks.
void configureAppsrc(GstElement* appsrc, VideoCodec codec);

class AppsrcTarget final : public FeedTarget {
public:
    static constexpr size_t kMaxQueuedBytes = 4u << 20;

    enum class Clocking {
        Free,               // the sinks send at once (an RTSP media without rate control)
        NotAheadOfRunning,  // the sinks wait for each picture's running time
    };

    AppsrcTarget(GstElement* appsrc, Clocking clocking);  // takes a reference
    ~AppsrcTarget() override;
    AppsrcTarget(const AppsrcTarget&) = delete;
    AppsrcTarget& operator=(const AppsrcTarget&) = delete;

    bool offer(const FeedFrame& frame) override;
    void end() override;

private:
    int64_t runningTimeNow(int64_t arrivalNs);

    GstAppSrc* appsrc_;
    const Clocking clocking_;
    bool started_ = false;
    int64_t offset_ = 0;       // running time minus feed time
    int64_t last_ = -1;
    int64_t arrivalBase_ = 0;  // without a clock: running time counts from the first arrival
};

}  // namespace orvix::bridge
