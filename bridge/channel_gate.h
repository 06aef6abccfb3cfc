// The server's authentication, with one more step: once a client may use a
// channel's media (its credentials checked, when the bridge asks for them),
// the channel is waited for before the media is built, and a client the
// recorder cannot serve gets a status that says why (404 for no such
// channel, 503 otherwise) instead of a media. A client that fails the
// authentication is answered before, and never reaches a recorder.
#pragma once

#include <gst/rtsp-server/rtsp-auth.h>

#include <functional>
#include <string>

namespace orvix::bridge {

// Called for a client's request for `path`; GST_RTSP_STS_OK lets the media
// be built.
using ChannelGateCheck = std::function<GstRTSPStatusCode(GstRTSPClient* client, const std::string& path)>;

// Called when a client's request logged in as `user`.
using ChannelGateLogin = std::function<void(GstRTSPClient* client, const std::string& user)>;

// A new authentication object with `check` and `loggedIn`. Without a
// default token clients must authenticate (digest credentials are added to
// it as usual).
GstRTSPAuth* createChannelGate(ChannelGateCheck check, ChannelGateLogin loggedIn);

}  // namespace orvix::bridge
