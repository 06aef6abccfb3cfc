// What takes a connection's video packets when nothing decodes them (the
// RTSP feed): the session hands each packet of the frame ring to it on the
// session's packet thread, in the order the link received them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

class PacketSink {
public:
    virtual ~PacketSink() = default;
    // One packet as the link delimited it (start marker first). Valid only
    // during the call. Must not block: the link thread waits for the slot.
    virtual void packet(const uint8_t* slot, size_t length) = 0;
};

}  // namespace orvix
