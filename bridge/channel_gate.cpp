#include "bridge/channel_gate.h"

#include <gst/rtsp-server/rtsp-context.h>

#include "bridge/client_address.h"

namespace orvix::bridge {

struct OrvixChannelGate {
    GstRTSPAuth parent;
    ChannelGateCheck* check;
    ChannelGateLogin* loggedIn;
};

struct OrvixChannelGateClass {
    GstRTSPAuthClass parentClass;
};

namespace {

G_DEFINE_TYPE(OrvixChannelGate, orvix_channel_gate, GST_TYPE_RTSP_AUTH)

gboolean checkRequest(GstRTSPAuth* auth, GstRTSPContext* context, const gchar* check) {
    // The credentials and the factory's roles first; a refusal there has
    // been answered already.
    if (!GST_RTSP_AUTH_CLASS(orvix_channel_gate_parent_class)->check(auth, context, check)) return FALSE;
    auto* gate = reinterpret_cast<OrvixChannelGate*>(auth);
    // A client logs in where it first needs to, at a channel's media.
    if (context != nullptr && context->client != nullptr) {
        const std::string user = loggedInUser(context);
        if (!user.empty()) (*gate->loggedIn)(context->client, user);
    }
    if (!g_str_equal(check, GST_RTSP_AUTH_CHECK_MEDIA_FACTORY_CONSTRUCT) || context == nullptr ||
        context->client == nullptr || context->uri == nullptr || context->response == nullptr) {
        return TRUE;
    }
    const GstRTSPStatusCode code = (*gate->check)(context->client, context->uri->abspath != nullptr ? context->uri->abspath : "");
    if (code == GST_RTSP_STS_OK) return TRUE;
    // As a refused check does: the answer is sent here.
    gst_rtsp_message_init_response(context->response, code, gst_rtsp_status_as_text(code), context->request);
    gst_rtsp_client_send_message(context->client, context->session, context->response);
    return FALSE;
}

void finalizeGate(GObject* object) {
    delete reinterpret_cast<OrvixChannelGate*>(object)->check;
    delete reinterpret_cast<OrvixChannelGate*>(object)->loggedIn;
    G_OBJECT_CLASS(orvix_channel_gate_parent_class)->finalize(object);
}

void orvix_channel_gate_class_init(OrvixChannelGateClass* klass) {
    GST_RTSP_AUTH_CLASS(klass)->check = checkRequest;
    G_OBJECT_CLASS(klass)->finalize = finalizeGate;
}

void orvix_channel_gate_init(OrvixChannelGate* self) {
    self->check = nullptr;
    self->loggedIn = nullptr;
}

}  // namespace

GstRTSPAuth* createChannelGate(ChannelGateCheck check, ChannelGateLogin loggedIn) {
    auto* gate = static_cast<OrvixChannelGate*>(g_object_new(orvix_channel_gate_get_type(), nullptr));
    gate->check = new ChannelGateCheck(std::move(check));
    gate->loggedIn = new ChannelGateLogin(std::move(loggedIn));
    return &gate->parent;
}

}  // namespace orvix::bridge
