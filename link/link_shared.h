// State of one connection that the window thread, the link thread and the
// display thread share. Every member has one writer at a time and is atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvix {

enum LinkThreadState : int {
    kLinkStopped = 0,
    kLinkReady = 1,
    kLinkConnect = 2,
    kLinkDdnsExchange = 3,
    kLinkReconnect = 4,
    kLinkReconnectWait = 5,
    kLinkRecorderExchange = 6,
    kLinkStopRequested = 7,
};

struct LinkShared {
    std::atomic<int> threadState{kLinkStopped};
    std::atomic<int> iframeOnly{1};  // the "I only" option; 1 at creation

    // Traffic counters (bytes: link thread; frames: display thread) and the
    // rates the 4-second timer derives from them.
    std::atomic<uint32_t> bytesCounter{0};
    std::atomic<uint32_t> framesCounter{0};
    std::atomic<uint32_t> framesPerSecond{0};
    std::atomic<uint32_t> kilobytesPerSecond{0};
    // The recorder time of the newest picture being shown, -1 before any:
    // the display thread writes it before decoding (the decoder's tap reads
    // it for the packet), the decode workers once decoded.
    std::atomic<int64_t> shownSeconds{-1};

    // The timer tick: rates from the last 4 seconds, counters restart.
    void updateRates() {
        framesPerSecond.store(framesCounter.exchange(0) >> 2);
        kilobytesPerSecond.store(bytesCounter.exchange(0) >> 12);
    }
    void resetCounters() {
        bytesCounter.store(0);
        framesCounter.store(0);
    }
};

}  // namespace orvix
