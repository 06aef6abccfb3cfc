#include "bridge/webrtc_negotiation.h"

#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>

#include <condition_variable>
#include <mutex>

namespace orvix::bridge {
namespace {

// The reply of a webrtcbin action, waited for on the caller's thread.
const GstStructure* await(GstPromise* promise) {
    if (gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED) return nullptr;
    return gst_promise_get_reply(promise);
}

struct Gathering {
    std::mutex mutex;
    std::condition_variable done;
};

void onGatheringState(GstElement* webrtc, GParamSpec*, gpointer data) {
    auto* gathering = static_cast<Gathering*>(data);
    GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
    g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
    if (state != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE) return;
    std::lock_guard<std::mutex> lock(gathering->mutex);
    gathering->done.notify_all();
}

bool gathered(GstElement* webrtc) {
    GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
    g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
    return state == GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE;
}

bool setDescription(GstElement* webrtc, const char* action, GstWebRTCSessionDescription* description) {
    GstPromise* promise = gst_promise_new();
    g_signal_emit_by_name(webrtc, action, description, promise);
    const GstStructure* reply = await(promise);
    GError* failure = nullptr;
    if (reply != nullptr && gst_structure_has_field(reply, "error")) gst_structure_get(reply, "error", G_TYPE_ERROR, &failure, nullptr);
    const bool ok = failure == nullptr;
    if (failure != nullptr) g_error_free(failure);
    gst_promise_unref(promise);
    return ok;
}

GstWebRTCSessionDescription* createAnswer(GstElement* webrtc) {
    GstPromise* promise = gst_promise_new();
    g_signal_emit_by_name(webrtc, "create-answer", nullptr, promise);
    const GstStructure* reply = await(promise);
    GstWebRTCSessionDescription* answer = nullptr;
    if (reply != nullptr && gst_structure_has_field(reply, "answer")) {
        gst_structure_get(reply, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &answer, nullptr);
    }
    gst_promise_unref(promise);
    return answer;
}

}  // namespace

void prepareSender(GstElement* webrtc, const H264Choice& choice) {
    GstWebRTCRTPTransceiver* transceiver = nullptr;
    g_signal_emit_by_name(webrtc, "get-transceiver", 0, &transceiver);
    if (transceiver == nullptr) return;
    GstCaps* caps = gst_caps_new_simple("application/x-rtp", "media", G_TYPE_STRING, "video", "encoding-name",
                                        G_TYPE_STRING, "H264", "clock-rate", G_TYPE_INT, 90000, "payload", G_TYPE_INT,
                                        choice.payloadType, "packetization-mode", G_TYPE_STRING, "1",
                                        "profile-level-id", G_TYPE_STRING, choice.profileLevelId.c_str(), nullptr);
    g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY, "codec-preferences", caps,
                 nullptr);
    gst_caps_unref(caps);
    gst_object_unref(transceiver);
}

bool answerOffer(GstElement* webrtc, const std::string& offer, std::chrono::milliseconds limit, std::string& answer,
                 std::string& error) {
    GstSDPMessage* sdp = nullptr;
    gst_sdp_message_new(&sdp);
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(offer.data()), static_cast<guint>(offer.size()),
                                     sdp) != GST_SDP_OK) {
        gst_sdp_message_free(sdp);
        error = "the offer is not SDP";
        return false;
    }
    GstWebRTCSessionDescription* remote = gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_OFFER, sdp);
    const bool remoteSet = setDescription(webrtc, "set-remote-description", remote);
    gst_webrtc_session_description_free(remote);
    if (!remoteSet) {
        error = "the offer was refused";
        return false;
    }
    GstWebRTCSessionDescription* local = createAnswer(webrtc);
    if (local == nullptr) {
        error = "no answer could be made for the offer";
        return false;
    }
    Gathering gathering;
    const gulong watch = g_signal_connect(webrtc, "notify::ice-gathering-state", G_CALLBACK(onGatheringState), &gathering);
    const bool localSet = setDescription(webrtc, "set-local-description", local);
    gst_webrtc_session_description_free(local);
    {
        std::unique_lock<std::mutex> lock(gathering.mutex);
        gathering.done.wait_for(lock, limit, [&] { return gathered(webrtc); });
    }
    g_signal_handler_disconnect(webrtc, watch);
    if (!localSet) {
        error = "the answer was refused";
        return false;
    }
    // The local description now lists the candidates gathered so far.
    GstWebRTCSessionDescription* described = nullptr;
    g_object_get(webrtc, "local-description", &described, nullptr);
    if (described == nullptr) {
        error = "no answer";
        return false;
    }
    gchar* text = gst_sdp_message_as_text(described->sdp);
    answer = text;
    g_free(text);
    gst_webrtc_session_description_free(described);
    return true;
}

}  // namespace orvix::bridge
