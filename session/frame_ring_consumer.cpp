#include "session/frame_ring_consumer.h"

#include "core/debug_log.h"

namespace orvix {

void consumeFrameRing(RecorderConnection& connection,
                      const std::function<void(const uint8_t* data, size_t length)>& handle, const char* endLine) {
    LinkShared& shared = *connection.shared;
    FrameRing& ring = connection.ring;
    while (shared.threadState.load() != kLinkStopped) {
        if (!ring.waitFrame(FrameRing::kFrameWait)) continue;
        const RingSlot slot = ring.take();
        // The wake-up at stop may find no packet; only hand-overs count.
        if (slot.data != nullptr) {
            shared.framesCounter.fetch_add(1);
            handle(slot.data, slot.length);
        }
        ring.releaseSlot();
    }
    debugLog(endLine);
}

}  // namespace orvix
