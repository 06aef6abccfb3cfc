// The typed events of a shown channel set (several channels at once), for
// the front ends: a channel's newest picture, its packets (for sinks that
// store or forward without decoding), and its dropped packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "media/access_unit.h"

namespace orvix {

// A decoded picture of one channel: rows top first, `rowBytes` apart, bytes
// blue, green, red, unused. Valid only during the call.
struct ChannelPicture {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int rowBytes = 0;
    int64_t recorderSeconds = 0;  // the picture's recorder time
    // The size the codec gave: width x height unless pictureSize() asked
    // for another.
    int decodedWidth = 0;
    int decodedHeight = 0;
};

class ChannelEvents {
public:
    virtual ~ChannelEvents() = default;
    // Decode worker: `channel` (0-based) has a new picture. Calls for one
    // channel never overlap and come in stream order; calls for different
    // channels may come at the same time from different workers.
    virtual void picture(int channel, const ChannelPicture& frame) = 0;
    // Decode worker: the size `channel`'s pictures of `width` x `height`
    // are to be handed on at; the colour conversion scales them to it in
    // the same pass. As decoded unless overridden.
    virtual std::pair<int, int> pictureSize(int channel, int width, int height) {
        (void)channel;
        return {width, height};
    }
    // Decode worker: whether `channel`'s pictures are wanted now; a channel
    // that is not is only handed on as packets. Must not block.
    virtual bool decodes(int channel) {
        (void)channel;
        return true;
    }
    // Decode worker, before the unit is decoded: one codec-ready access unit
    // of `channel` (same ordering as picture()). Valid only during the call.
    virtual void packet(int channel, const AccessUnit& unit) {
        (void)channel;
        (void)unit;
    }
    // Decode worker: `channel`'s pictures of `width` x `height` would take
    // the session over its picture budget; they are not decoded (picture()
    // is not called) until the channel's pictures fit again. Its packets
    // still come. Once per size.
    virtual void oversized(int channel, int width, int height) {
        (void)channel;
        (void)width;
        (void)height;
    }
    // Link thread: `channel` dropped a packet, `total` since the set-up.
    // Must not block.
    virtual void dropped(int channel, uint64_t total) {
        (void)channel;
        (void)total;
    }
};

}  // namespace orvix
