#include "bench/latency_support.h"

#include <algorithm>
#include <thread>

#include "link/command_codes.h"
#include "link/wire_format.h"

namespace orvix::bench {

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

test::Bytes f5Packet(const test::Packet& payload, uint32_t seconds, bool key) {
    test::Bytes packet(64 + payload.size() + 4, 0);
    packet[2] = 0x01;
    packet[3] = 0xF5;
    writeLe32(packet.data() + 4, seconds);
    packet[8] = static_cast<uint8_t>(key ? 0x10 : 0x20);
    std::copy(payload.begin(), payload.end(), packet.begin() + 64);
    const uint8_t end[4] = {0x00, 0x00, 0x01, 0xB4};
    std::copy(end, end + 4, packet.end() - 4);
    writeLe32(packet.data() + 12, static_cast<uint32_t>(packet.size() - 36));
    return packet;
}

bool answerHandshake(test::ScriptedPeer& peer, uint32_t modelCode, FramingKind framing) {
    if (!peer.accept()) return false;
    peer.send(test::commandPacket(framing, COMMAND_CONNECT_OK, test::description(modelCode, 24)));
    peer.nextCode();
    peer.send(test::commandPacket(framing, COMMAND_LOGIN_OK, test::loginOkPayload(0x1F)));
    peer.nextCode();
    return peer.send(test::commandPacket(framing, COMMAND_DATA_SEND_OK));
}

void writePictures(test::ScriptedPeer& peer, const test::EncodedStream& stream, const PacedPictures& paced) {
    const int count = std::min(paced.count, static_cast<int>(stream.packets.size()));
    auto next = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (paced.stop && paced.stop()) return;
        const size_t index = static_cast<size_t>(i);
        const test::Bytes packet = f5Packet(stream.packets[index], paced.seconds(i), stream.keys[index]);
        if (paced.beforeWrite) paced.beforeWrite(i);
        peer.send(packet);
        next += paced.period;
        std::this_thread::sleep_until(next);
    }
}

}  // namespace orvix::bench
