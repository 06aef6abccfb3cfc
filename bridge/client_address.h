// How the log names an RTSP client: its address and port, and the user it
// logged in as.
#pragma once

#include <gst/rtsp-server/rtsp-client.h>
#include <gst/rtsp-server/rtsp-context.h>

#include <string>

namespace orvix::bridge {

// The token field that holds the name of the user a client logged in as.
inline constexpr const char* kUserField = "orvix.user";

// "192.0.2.7:50412" or "[2001:db8::7]:50412" of `client`, "?" without a
// connection.
std::string clientAddress(GstRTSPClient* client);
// The user the request of `context` logged in as, "" for none.
std::string loggedInUser(const GstRTSPContext* context);

}  // namespace orvix::bridge
