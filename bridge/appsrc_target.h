// A channel feed's pictures into the appsrc of an RTSP media. Each
// picture's time is its smoothed recorder time, moved onto the pipeline's
// running time and never ahead of it: RTCP sender reports tie RTP times to
// the running time, and a client that follows them must not see times go
// back. The group a new client starts with is therefore squeezed into the
// moment it is sent. Times always grow. A queue holding more than its limit
// refuses the picture (the feed then skips this target to the next key
// picture).
#pragma once

#include <gst/app/gstappsrc.h>

#include <cstddef>
#include <cstdint>

#include "session/channel_feed.h"
#include "media/video_codec.h"

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
    bool started_ = false;
    int64_t offset_ = 0;       // running time minus feed time
    int64_t last_ = -1;
    int64_t arrivalBase_ = 0;  // without a clock: running time counts from the first arrival
};

}  // namespace orvix::bridge
