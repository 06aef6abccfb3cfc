// The display side of the frame ring for tests: a thread that takes every
// packet, keeps a copy, and releases the slot. It can be held back (gated)
// to play a slow display; like the display thread it keeps taking packets
// once a stop is requested, and it ends when the link thread state is 0.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "link/frame_ring.h"
#include "link/link_shared.h"

namespace orvix::test {

class RingConsumer {
public:
    RingConsumer(FrameRing& ring, LinkShared& shared) : ring_(ring), shared_(shared) {}
    ~RingConsumer() { stop(); }

    void start();
    // Ends the thread (also when the link never ran).
    void stop();

    // While gated, each taken packet is held until allow() lets it go, or
    // until a stop is requested.
    void setGated(bool gated);
    void allow(int packets);

    std::vector<std::vector<uint8_t>> packets() const;
    size_t packetCount() const;
    int emptyTakes() const;

private:
    void loop();

    FrameRing& ring_;
    LinkShared& shared_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool gated_ = false;
    int permits_ = 0;
    bool quit_ = false;
    int emptyTakes_ = 0;
    std::vector<std::vector<uint8_t>> packets_;
    std::thread thread_;
};

}  // namespace orvix::test
