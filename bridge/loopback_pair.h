// Connected pairs of TCP sockets on this machine's loopback, one end for the
// RTSP front and one for GStreamer's RTSP server, which wants a socket of
// the client's address family (it sends UDP streams from sockets of that
// family). A pair is only made of the connection this side opened itself.
#pragma once

#include <string>

namespace orvix::bridge {

class LoopbackPairs {
public:
    LoopbackPairs() = default;
    ~LoopbackPairs();
    LoopbackPairs(const LoopbackPairs&) = delete;
    LoopbackPairs& operator=(const LoopbackPairs&) = delete;

    // Listens on 127.0.0.1 and, where the machine has it, ::1. False with
    // the reason when IPv4 loopback is not to be had.
    bool open(std::string& error);
    // A pair over IPv6 loopback when `ipv6` and it is there, else IPv4; false
    // when none could be made. Both ends are blocking and the caller's.
    bool make(bool ipv6, int& first, int& second) const;

private:
    int listener4_ = -1;
    int listener6_ = -1;
};

}  // namespace orvix::bridge
