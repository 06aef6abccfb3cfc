// What a browser's WebRTC offer asks for, read from its SDP text: the RTP
// payload type the bridge sends H.264 with (packetization mode 1, the
// constrained baseline profile where offered, which every browser decodes).
#pragma once

#include <optional>
#include <string>

namespace orvix::bridge {

struct H264Choice {
    int payloadType = 0;
    std::string profileLevelId;  // six hex digits, as offered
};

// The offer's H.264 payload for the bridge's video; none when the offer has
// no video section or no H.264 in packetization mode 1.
std::optional<H264Choice> chooseH264(const std::string& offerSdp);

// Whether `profileLevelId` (six hex digits) is constrained baseline: the
// baseline profile with constraint_set1, which every H.264 decoder plays.
bool constrainedBaseline(const std::string& profileLevelId);

}  // namespace orvix::bridge
