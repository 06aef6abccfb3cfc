#include "video/packet_sink_thread.h"

#include "link/debug_log.h"

namespace orvix {

bool PacketSinkThread::start() {
    if (thread_.joinable() || connection_.shared == nullptr) return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PacketSinkThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void PacketSinkThread::run() {
    LinkShared& shared = *connection_.shared;
    FrameRing& ring = connection_.ring;
    while (shared.threadState.load() != kLinkStopped) {
        if (!ring.waitFrame(FrameRing::kFrameWait)) continue;
        const RingSlot slot = ring.take();
        if (slot.data != nullptr) {
            shared.framesCounter.fetch_add(1);
            sink_.packet(slot.data, slot.length);
        }
        ring.releaseSlot();
    }
    debugLog("PACKET_SINK_THREAD_END \r\n");
}

}  // namespace orvix
