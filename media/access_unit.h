// One ring slot turned into what a codec takes: the packet's channel, whether
// it is a key picture, its recorder time, and the coded bytes, with the
// fixed parameter set in front where a raw stream's coding configuration
// changed. The decoder, the recording and the RTSP feed all read packets
// through this step; none of them looks at the packet layouts itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/frame_kind.h"

namespace orvix {

struct AccessUnit {
    FrameKind kind = FrameKind::None;
    int channel = 0;               // 0-based
    bool keyPicture = false;
    int64_t recorderSeconds = 0;   // seconds since 1970, as the recorder counts them
    // The fixed parameter set put in front (raw kind, configuration change),
    // else null; then the coded picture itself. Both point into constant
    // tables or the slot and are valid as long as the slot is.
    const uint8_t* parameterSet = nullptr;
    size_t parameterSetLength = 0;
    int resolutionCode = 0;        // raw kind: the code of this packet
    const uint8_t* payload = nullptr;
    size_t payloadLength = 0;

    size_t length() const { return parameterSetLength + payloadLength; }
};

enum class AccessUnitStep {
    Ready,           // `unit` holds a codec-ready picture
    NoKind,          // the model has no packet layout: released unread
    TooShort,        // shorter than its header, or its payload length runs past the end
    OtherChannel,    // not the selected channel
    WaitingForKey,   // raw kind: the configuration changed and this is no key picture
    NoParameterSet,  // raw kind: a key picture of a configuration without a fixed set
};

// Reads the packet in `slot` (`length` bytes, start marker first) laid out
// as `kind`. `selectedChannel` is the channel wanted (0-based). `rawConfig`
// is the raw kind's configuration memory of this stream (the resolution code
// of the set last put in front; kRawConfigInitial and kRawConfigAfterFailure
// of link/recorder_connection.h mean none), one per stream and kept by its
// reader: another channel or a code without a set makes the next key picture
// carry its set again; a key picture of a new configuration takes its set.
AccessUnitStep readAccessUnit(const uint8_t* slot, size_t length, FrameKind kind, int selectedChannel,
                              uint8_t& rawConfig, AccessUnit& unit);

// The picture time as the overlay converts it: times past the signed 32-bit
// range count as before 1970.
int32_t overlaySeconds(int64_t recorderSeconds);

}  // namespace orvix
