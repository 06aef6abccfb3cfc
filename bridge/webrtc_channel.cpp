#include "bridge/webrtc_channel.h"

#include <gst/video/video.h>
#include <gst/webrtc/webrtc.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "bridge/webrtc_negotiation.h"

namespace orvix::bridge {
namespace {

constexpr std::chrono::milliseconds kGatherLimit{3000};

GstElement* make(const char* factory, std::string& missing) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (element == nullptr && missing.empty()) missing = factory;
    return element;
}

// A viewer's branch lets nothing through before a key picture.
GstPadProbeReturn untilKeyPicture(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (buffer == nullptr) return GST_PAD_PROBE_PASS;
    return GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT) ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_REMOVE;
}

struct Unlinked {
    std::mutex mutex;
    std::condition_variable done;
    bool unlinked = false;
};

// Shared with the probe, which may run after the wait for it gave up.
using SharedUnlinked = std::shared_ptr<Unlinked>;

void freeUnlinked(gpointer data) { delete static_cast<SharedUnlinked*>(data); }

GstPadProbeReturn unlinkWhenIdle(GstPad* pad, GstPadProbeInfo*, gpointer data) {
    Unlinked* state = static_cast<SharedUnlinked*>(data)->get();
    GstPad* peer = gst_pad_get_peer(pad);
    if (peer != nullptr) {
        gst_pad_unlink(pad, peer);
        gst_object_unref(peer);
    }
    std::lock_guard<std::mutex> lock(state->mutex);
    state->unlinked = true;
    state->done.notify_all();
    return GST_PAD_PROBE_REMOVE;
}

// The channel's stream ends where it starts: the feed ended its source.
GstPadProbeReturn onSourceEvent(GstPad*, GstPadProbeInfo* info, gpointer ended) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
        static_cast<std::atomic<bool>*>(ended)->store(true);
    }
    return GST_PAD_PROBE_PASS;
}

bool connectionGone(GstElement* webrtc) {
    GstWebRTCPeerConnectionState state = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "connection-state", &state, nullptr);
    return state == GST_WEBRTC_PEER_CONNECTION_STATE_FAILED || state == GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED;
}

}  // namespace

WebrtcChannel::WebrtcChannel(PoolHandle handle)
    : handle_(std::move(handle)), transcoded_(handle_.codec() != VideoCodec::H264) {}

WebrtcChannel::~WebrtcChannel() {
    // The packets stop before the pipeline that takes them goes.
    handle_.release();
    if (pipeline_ == nullptr) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    for (auto& [id, viewer] : viewers_) gst_object_unref(viewer.teePad);
    target_.reset();
    gst_object_unref(pipeline_);
}

bool WebrtcChannel::start(std::string& error) {
    std::string missing;
    pipeline_ = gst_pipeline_new(nullptr);
    GstElement* appsrc = make("appsrc", missing);
    GstElement* parser = make("h264parse", missing);
    tee_ = make("tee", missing);
    GstElement* decoder = nullptr;
    GstElement* convert = nullptr;
    GstElement* mpeg4Parser = nullptr;
    GstElement* profile = nullptr;
    if (transcoded_) {
        mpeg4Parser = make("mpeg4videoparse", missing);
        decoder = make("avdec_mpeg4", missing);
        convert = make("videoconvert", missing);
        encoder_ = make("x264enc", missing);
        profile = make("capsfilter", missing);
    }
    GstElement* chain[] = {appsrc, mpeg4Parser, decoder, convert, encoder_, profile, parser, tee_};
    if (!missing.empty()) {
        for (GstElement* e : chain) {
            if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
        }
        tee_ = encoder_ = nullptr;
        error = "a GStreamer element is missing: " + missing;
        return false;
    }
    configureAppsrc(appsrc, handle_.codec());
    g_object_set(parser, "config-interval", -1, nullptr);
    g_object_set(tee_, "allow-not-linked", TRUE, nullptr);
    if (transcoded_) {
        // Browsers' decoders all play constrained baseline; zero latency
        // sends each picture as soon as it is encoded.
        gst_util_set_object_arg(G_OBJECT(encoder_), "tune", "zerolatency");
        gst_util_set_object_arg(G_OBJECT(encoder_), "speed-preset", "ultrafast");
        g_object_set(encoder_, "key-int-max", 100, "bitrate", 2000, nullptr);
        GstCaps* caps = gst_caps_from_string("video/x-h264,profile=constrained-baseline");
        g_object_set(profile, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }
    GstElement* previous = nullptr;
    for (GstElement* e : chain) {
        if (e == nullptr) continue;
        gst_bin_add(GST_BIN(pipeline_), e);
        if (previous != nullptr && !gst_element_link(previous, e)) {
            error = "the channel's pipeline does not link";
            return false;
        }
        previous = e;
    }
    for (GstElement* e : chain) {
        if (e != nullptr) chain_.push_back(e);
    }
    GstPad* source = gst_element_get_static_pad(appsrc, "src");
    gst_pad_add_probe(source, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, onSourceEvent, &ended_, nullptr);
    gst_object_unref(source);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, onBusMessage, this, nullptr);
    gst_object_unref(bus);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the channel's pipeline does not play";
        return false;
    }
    target_ = std::make_unique<AppsrcTarget>(appsrc);
    // From the next key picture: a kept group would be shown late by a
    // browser, which paces pictures by their times.
    handle_.attachPackets(target_.get(), false);
    return true;
}

GstBusSyncReply WebrtcChannel::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* channel = static_cast<WebrtcChannel*>(self);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_LATENCY) channel->latencyChanged_ = true;
    // Only an error of the channel's own chain ends it; a viewer's is its own.
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        for (GstElement* e : channel->chain_) {
            if (GST_MESSAGE_SRC(message) != GST_OBJECT(e)) continue;
            GError* failure = nullptr;
            gst_message_parse_error(message, &failure, nullptr);
            {
                std::lock_guard<std::mutex> lock(channel->mutex_);
                channel->failure_ = std::string(GST_OBJECT_NAME(e)) + ": " + (failure != nullptr ? failure->message : "?");
            }
            if (failure != nullptr) g_error_free(failure);
            channel->ended_ = true;
        }
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

std::string WebrtcChannel::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

bool WebrtcChannel::buildBranch(Viewer& viewer, const H264Choice& choice, std::string& error) {
    std::string missing;
    viewer.queue = make("queue", missing);
    viewer.payloader = make("rtph264pay", missing);
    viewer.profile = make("capssetter", missing);
    viewer.webrtc = make("webrtcbin", missing);
    if (!missing.empty()) {
        for (GstElement* e : {viewer.queue, viewer.payloader, viewer.profile, viewer.webrtc}) {
            if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
        }
        viewer = Viewer{};
        error = "a GStreamer element is missing: " + missing;
        return false;
    }
    // A viewer that falls behind loses pictures, never the others' time.
    g_object_set(viewer.queue, "leaky", 2, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 static_cast<guint64>(GST_SECOND), nullptr);
    g_object_set(viewer.payloader, "pt", static_cast<guint>(choice.payloadType), "config-interval", -1, nullptr);
    gst_util_set_object_arg(G_OBJECT(viewer.payloader), "aggregate-mode", "zero-latency");
    // The stream's packets state the profile the answer gave, whatever
    // the recorder's parameter sets say: browsers decode more than they
    // offer, but take only what they offered.
    GstCaps* profile = gst_caps_new_simple("application/x-rtp", "profile-level-id", G_TYPE_STRING,
                                           choice.profileLevelId.c_str(), nullptr);
    g_object_set(viewer.profile, "caps", profile, nullptr);
    gst_caps_unref(profile);
    gst_util_set_object_arg(G_OBJECT(viewer.webrtc), "bundle-policy", "max-bundle");
    gst_bin_add_many(GST_BIN(pipeline_), viewer.queue, viewer.payloader, viewer.profile, viewer.webrtc, nullptr);
    if (!gst_element_link_many(viewer.queue, viewer.payloader, viewer.profile, viewer.webrtc, nullptr)) {
        error = "the viewer's branch does not link";
        return false;
    }
    prepareSender(viewer.webrtc, choice);
    for (GstElement* e : {viewer.webrtc, viewer.profile, viewer.payloader, viewer.queue}) gst_element_sync_state_with_parent(e);
    GstPad* sink = gst_element_get_static_pad(viewer.queue, "sink");
    gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_BUFFER, untilKeyPicture, nullptr, nullptr);
    viewer.teePad = gst_element_request_pad_simple(tee_, "src_%u");
    const bool linked = gst_pad_link(viewer.teePad, sink) == GST_PAD_LINK_OK;
    gst_object_unref(sink);
    if (!linked) error = "the viewer's branch does not link";
    return linked;
}

void WebrtcChannel::askForKeyPicture() {
    if (encoder_ == nullptr) return;
    GstPad* source = gst_element_get_static_pad(encoder_, "src");
    gst_pad_send_event(source, gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    gst_object_unref(source);
}

bool WebrtcChannel::addViewer(const std::string& id, const std::string& offer, const H264Choice& choice,
                              std::string& answer, std::string& error) {
    Viewer viewer;
    const bool built = buildBranch(viewer, choice, error);
    if (built && answerOffer(viewer.webrtc, offer, kGatherLimit, answer, error)) {
        viewers_[id] = viewer;
        askForKeyPicture();
        return true;
    }
    if (viewer.queue != nullptr) dropBranch(viewer);
    return false;
}

void WebrtcChannel::dropBranch(Viewer& viewer) {
    if (viewer.teePad != nullptr) {
        auto state = std::make_shared<Unlinked>();
        gst_pad_add_probe(viewer.teePad, GST_PAD_PROBE_TYPE_IDLE, unlinkWhenIdle, new SharedUnlinked(state),
                          freeUnlinked);
        {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->done.wait_for(lock, std::chrono::seconds(2), [&] { return state->unlinked; });
        }
        gst_element_release_request_pad(tee_, viewer.teePad);
        gst_object_unref(viewer.teePad);
    }
    for (GstElement* e : {viewer.webrtc, viewer.profile, viewer.payloader, viewer.queue}) {
        gst_element_set_state(e, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(pipeline_), e);
    }
    viewer = Viewer{};
}

bool WebrtcChannel::removeViewer(const std::string& id) {
    const auto found = viewers_.find(id);
    if (found == viewers_.end()) return false;
    dropBranch(found->second);
    viewers_.erase(found);
    return true;
}

void WebrtcChannel::updateLatency() {
    if (latencyChanged_.exchange(false)) gst_bin_recalculate_latency(GST_BIN(pipeline_));
}

int WebrtcChannel::removeGone() {
    int removed = 0;
    for (auto it = viewers_.begin(); it != viewers_.end();) {
        if (!connectionGone(it->second.webrtc)) {
            ++it;
            continue;
        }
        dropBranch(it->second);
        it = viewers_.erase(it);
        ++removed;
    }
    return removed;
}

}  // namespace orvix::bridge
