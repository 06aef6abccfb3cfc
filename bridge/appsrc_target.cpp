#include "bridge/appsrc_target.h"

#include <memory>
#include <vector>

namespace orvix::bridge {
namespace {

using SharedBytes = std::shared_ptr<const std::vector<uint8_t>>;

void releaseBytes(gpointer data) { delete static_cast<SharedBytes*>(data); }

}  // namespace

GstCaps* appsrcCaps(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::H264:
            return gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING, "byte-stream", "alignment",
                                       G_TYPE_STRING, "au", nullptr);
        case VideoCodec::Mpeg4:
            return gst_caps_new_simple("video/mpeg", "mpegversion", G_TYPE_INT, 4, "systemstream", G_TYPE_BOOLEAN,
                                       FALSE, "parsed", G_TYPE_BOOLEAN, FALSE, nullptr);
        case VideoCodec::None:
            break;
    }
    return nullptr;
}

void configureAppsrc(GstElement* appsrc, VideoCodec codec) {
    GstCaps* caps = appsrcCaps(codec);
    g_object_set(appsrc, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", FALSE, "block", FALSE,
                 "max-bytes", static_cast<guint64>(AppsrcTarget::kMaxQueuedBytes * 2), "stream-type",
                 GST_APP_STREAM_TYPE_STREAM, nullptr);
    if (caps != nullptr) {
        g_object_set(appsrc, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }
}

AppsrcTarget::AppsrcTarget(GstElement* appsrc) : appsrc_(GST_APP_SRC(gst_object_ref(appsrc))) {}

AppsrcTarget::~AppsrcTarget() { gst_object_unref(appsrc_); }

int64_t AppsrcTarget::runningTimeNow(int64_t arrivalNs) {
    GstClock* clock = gst_element_get_clock(GST_ELEMENT(appsrc_));
    if (clock == nullptr) {
        if (arrivalBase_ == 0) arrivalBase_ = arrivalNs;
        return arrivalNs - arrivalBase_;
    }
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(appsrc_));
    return now > base ? static_cast<int64_t>(now - base) : 0;
}

bool AppsrcTarget::offer(const FeedFrame& frame) {
    if (!frame.bytes || frame.bytes->empty()) return true;
    const size_t size = frame.bytes->size();
    if (gst_app_src_get_current_level_bytes(appsrc_) + size > kMaxQueuedBytes) return false;

    const int64_t time = timeline_.place(frame, runningTimeNow(frame.arrivalNs));

    auto* keep = new SharedBytes(frame.bytes);
    GstBuffer* buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>((*keep)->data()),
                                                    size, 0, size, keep, releaseBytes);
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(time);
    GST_BUFFER_DTS(buffer) = static_cast<GstClockTime>(time);
    if (!frame.key) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    // A stopped or stopping source refuses it; the next key picture tries again.
    return gst_app_src_push_buffer(appsrc_, buffer) == GST_FLOW_OK;
}

void AppsrcTarget::end() { gst_app_src_end_of_stream(appsrc_); }

}  // namespace orvix::bridge
