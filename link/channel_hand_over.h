// Where the link thread hands the packets of a shown channel set (several
// channels at once): one call per packet that passed the filter. The single
// view does not use it; its packets go through the frame ring.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

class ChannelHandOver {
public:
    virtual ~ChannelHandOver() = default;
    // Link thread: one packet (start marker first) of `channel` (0-based).
    // Valid only during the call. Never blocks: the socket is read on the
    // same thread, and one slow channel must not hold the others.
    virtual void push(int channel, bool keyPicture, const uint8_t* packet, size_t length) = 0;
};

}  // namespace orvix
