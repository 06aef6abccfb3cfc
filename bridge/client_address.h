// The address of an RTSP client, for the log.
#pragma once

#include <gst/rtsp-server/rtsp-client.h>

#include <string>

namespace orvix::bridge {

// "ADDRESS" of `client`, or "?" when it has no connection.
std::string clientAddress(GstRTSPClient* client);
// The address of the client whose request is being handled on this thread.
std::string currentClientAddress();

}  // namespace orvix::bridge
