#include "bridge/client_address.h"

#include <gst/rtsp-server/rtsp-context.h>

namespace orvix::bridge {

std::string clientAddress(GstRTSPClient* client) {
    if (client == nullptr) return "?";
    GstRTSPConnection* connection = gst_rtsp_client_get_connection(client);
    const gchar* ip = connection != nullptr ? gst_rtsp_connection_get_ip(connection) : nullptr;
    return ip != nullptr ? ip : "?";
}

std::string currentClientAddress() {
    GstRTSPContext* context = gst_rtsp_context_get_current();
    return clientAddress(context != nullptr ? context->client : nullptr);
}

}  // namespace orvix::bridge
