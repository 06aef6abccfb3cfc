// The consumer of a connection's frame ring when the session feeds a packet
// sink instead of the display thread: takes each packet, hands it to the
// sink, releases the slot. Runs until the link thread state becomes 0, as
// the display thread does.
#pragma once

#include <thread>

#include "link/recorder_connection.h"
#include "session/packet_sink.h"

namespace orvix {

class PacketSinkThread {
public:
    PacketSinkThread(RecorderConnection& connection, PacketSink& sink) : connection_(connection), sink_(sink) {}
    ~PacketSinkThread() { join(); }
    PacketSinkThread(const PacketSinkThread&) = delete;
    PacketSinkThread& operator=(const PacketSinkThread&) = delete;

    // False when already started or the connection has no shared state.
    bool start();
    void join();
    bool joinable() const { return thread_.joinable(); }

private:
    void run();

    RecorderConnection& connection_;
    PacketSink& sink_;
    std::thread thread_;
};

}  // namespace orvix
