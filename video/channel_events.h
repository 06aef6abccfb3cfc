// The typed events of a shown channel set (several channels at once), for
// the front ends: a channel's newest picture, its packets (for sinks that
// store or forward without decoding), and its dropped packets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/access_unit.h"

namespace orvix {

// A decoded picture of one channel: rows top first, `rowBytes` apart, bytes
// blue, green, red, unused. Valid only during the call.
struct ChannelPicture {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int rowBytes = 0;
    int64_t recorderSeconds = 0;  // the picture's recorder time
};

class ChannelEvents {
public:
    virtual ~ChannelEvents() = default;
    // Decode worker: `channel` (0-based) has a new picture. Calls for one
    // channel never overlap and come in stream order; calls for different
    // channels may come at the same time from different workers.
    virtual void picture(int channel, const ChannelPicture& frame) = 0;
    // Decode worker, before the unit is decoded: one codec-ready access unit
    // of `channel` (same ordering as picture()). Valid only during the call.
    virtual void packet(int channel, const AccessUnit& unit) {
        (void)channel;
        (void)unit;
    }
    // Link thread: `channel` dropped a packet, `total` since the set-up.
    // Must not block.
    virtual void dropped(int channel, uint64_t total) {
        (void)channel;
        (void)total;
    }
};

}  // namespace orvix
