// Writes the simulated recorder's packets to the client, with the fault
// options applied: random-sized pieces, markers split across two writes,
// junk between packets, random Wide filler bytes, a close in the middle of
// a video packet, a reset after some video packets, and a stall.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "frontend/listen_socket.h"
#include "link/wire_format.h"
#include "tools/recorder_sim/sim_options.h"

namespace orvix::sim {

class StreamWriter {
public:
    StreamWriter(int fd, const SimFaults& faults, uint32_t seed, const std::atomic<bool>& stop);

    // Frames and writes one command. Closed when the client is gone.
    IoResult writeCommand(FramingKind framing, uint32_t code, const std::vector<uint8_t>& payload);
    // Writes one video packet. Closed also when the close-mid-packet fault
    // has just cut this packet short, or the reset fault has set the socket
    // to be reset when it is closed (closedByFault() and resetByFault() tell).
    IoResult writeVideo(const std::vector<uint8_t>& packet);

    // A few junk bytes (never the start of a packet), as a broken recorder
    // might send in place of its answers.
    IoResult writeJunk();

    // Nothing is written for `seconds` from now on.
    void stall(int seconds);

    uint64_t videoPackets() const { return videoPackets_; }
    bool closedByFault() const { return closedByFault_; }
    bool resetByFault() const { return resetByFault_; }

    // Junk that can never begin a start marker (no 00, 'B' or 'N' bytes).
    static std::vector<uint8_t> junk(std::mt19937& random, size_t length);
    // Replaces the filler bytes of a Wide packet with random bytes that can
    // form no end marker (no 00, 'D', 'E' or 'N').
    static void randomiseFiller(std::vector<uint8_t>& packet, std::mt19937& random);

private:
    IoResult writePacket(const uint8_t* data, size_t length);
    IoResult emit(const uint8_t* data, size_t length);
    IoResult waitOutStall();

    int fd_;
    SimFaults faults_;
    std::mt19937 random_;
    const std::atomic<bool>& stop_;
    std::chrono::steady_clock::time_point stallUntil_{};
    uint64_t videoPackets_ = 0;
    bool closedByFault_ = false;
    bool resetByFault_ = false;
};

}  // namespace orvix::sim
