#include "session/packet_sink_thread.h"

#include "session/frame_ring_consumer.h"

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
    consumeFrameRing(
        connection_, [this](const uint8_t* data, size_t length) { sink_.packet(data, length); },
        "PACKET_SINK_THREAD_END \r\n");
}

}  // namespace orvix
