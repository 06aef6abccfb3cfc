#include "bridge/client_address.h"

#include <gst/rtsp-server/rtsp-token.h>

namespace orvix::bridge {

std::string clientAddress(GstRTSPClient* client) {
    if (client == nullptr) return "?";
    GstRTSPConnection* connection = gst_rtsp_client_get_connection(client);
    const GstRTSPUrl* url = connection != nullptr ? gst_rtsp_connection_get_url(connection) : nullptr;
    if (url == nullptr || url->host == nullptr) return "?";
    const std::string host = url->host;
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(url->port);
}

std::string loggedInUser(const GstRTSPContext* context) {
    const gchar* user =
        context != nullptr && context->token != nullptr ? gst_rtsp_token_get_string(context->token, kUserField) : nullptr;
    return user != nullptr ? user : "";
}

}  // namespace orvix::bridge
