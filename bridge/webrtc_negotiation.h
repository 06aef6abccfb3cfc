// The answer of one webrtcbin to a browser's offer, for WHEP: no trickle,
// so the answer waits until the bridge's ICE candidates are gathered and
// carries them all.
#pragma once

#include <gst/gst.h>

#include <chrono>
#include <string>

#include "bridge/whep_offer.h"

namespace orvix::bridge {

// Sets the sending transceiver of `webrtc` (whose sink pad is linked) to
// send `choice` only.
void prepareSender(GstElement* webrtc, const H264Choice& choice);

// Sets `offer` as the remote description, makes and sets the answer, and
// waits for the candidates (at most `limit`). The answer's SDP text, or
// false with the reason.
bool answerOffer(GstElement* webrtc, const std::string& offer, std::chrono::milliseconds limit, std::string& answer,
                 std::string& error);

}  // namespace orvix::bridge
