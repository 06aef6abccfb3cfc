#include "bridge/channel_gate.h"

#include <gst/rtsp-server/rtsp-context.h>

namespace orvix::bridge {

struct OrvixChannelGate {
    GstRTSPAuth parent;
    ChannelGateCheck* check;
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
    if (!g_str_equal(check, GST_RTSP_AUTH_CHECK_MEDIA_FACTORY_CONSTRUCT) || context == nullptr ||
        context->client == nullptr || context->uri == nullptr || context->response == nullptr) {
        return TRUE;
    }
    const ChannelGateCheck& gate = *reinterpret_cast<OrvixChannelGate*>(auth)->check;
    const GstRTSPStatusCode code = gate(context->client, context->uri->abspath != nullptr ? context->uri->abspath : "");
    if (code == GST_RTSP_STS_OK) return TRUE;
    // As a refused check does: the answer is sent here.
    gst_rtsp_message_init_response(context->response, code, gst_rtsp_status_as_text(code), context->request);
    gst_rtsp_client_send_message(context->client, context->session, context->response);
    return FALSE;
}

void finalizeGate(GObject* object) {
    delete reinterpret_cast<OrvixChannelGate*>(object)->check;
    G_OBJECT_CLASS(orvix_channel_gate_parent_class)->finalize(object);
}

void orvix_channel_gate_class_init(OrvixChannelGateClass* klass) {
    GST_RTSP_AUTH_CLASS(klass)->check = checkRequest;
    G_OBJECT_CLASS(klass)->finalize = finalizeGate;
}

void orvix_channel_gate_init(OrvixChannelGate* self) { self->check = nullptr; }

}  // namespace

GstRTSPAuth* createChannelGate(ChannelGateCheck check, const char* anonymousRole) {
    auto* gate = static_cast<OrvixChannelGate*>(g_object_new(orvix_channel_gate_get_type(), nullptr));
    gate->check = new ChannelGateCheck(std::move(check));
    GstRTSPAuth* auth = &gate->parent;
    if (anonymousRole != nullptr) {
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, anonymousRole, nullptr);
        gst_rtsp_auth_set_default_token(auth, token);
        gst_rtsp_token_unref(token);
    }
    return auth;
}

}  // namespace orvix::bridge
