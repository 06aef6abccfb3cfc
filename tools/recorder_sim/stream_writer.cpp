#include "tools/recorder_sim/stream_writer.h"

#include <sys/socket.h>

#include <algorithm>
#include <thread>

namespace orvix::sim {
namespace {

constexpr size_t kMaxPiece = 700;
constexpr size_t kMaxJunk = 48;
// Between the halves of a split marker, so the client tends to read them apart.
constexpr auto kSplitPause = std::chrono::milliseconds(2);

bool safeJunk(uint8_t b) { return b != 0x00 && b != 'B' && b != 'N'; }
bool safeFiller(uint8_t b) { return b != 0x00 && b != 'D' && b != 'E' && b != 'N'; }

uint8_t randomByte(std::mt19937& random, bool (*allowed)(uint8_t)) {
    for (;;) {
        const auto b = static_cast<uint8_t>(random() & 0xFF);
        if (allowed(b)) return b;
    }
}

}  // namespace

StreamWriter::StreamWriter(int fd, const SimFaults& faults, uint32_t seed, const std::atomic<bool>& stop)
    : fd_(fd), faults_(faults), random_(seed), stop_(stop) {}

std::vector<uint8_t> StreamWriter::junk(std::mt19937& random, size_t length) {
    std::vector<uint8_t> bytes(length);
    for (uint8_t& b : bytes) b = randomByte(random, safeJunk);
    return bytes;
}

void StreamWriter::randomiseFiller(std::vector<uint8_t>& packet, std::mt19937& random) {
    if (packet.size() < kPacketOverhead) return;
    // Filler: the second byte of each 16-bit unit of the command and payload.
    for (size_t i = 5; i + 4 < packet.size(); i += 2) packet[i] = randomByte(random, safeFiller);
}

IoResult StreamWriter::writeJunk() {
    const std::vector<uint8_t> bytes = junk(random_, kMaxJunk);
    return writeAll(fd_, bytes.data(), bytes.size(), stop_);
}

void StreamWriter::stall(int seconds) {
    stallUntil_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
}

IoResult StreamWriter::waitOutStall() {
    while (std::chrono::steady_clock::now() < stallUntil_) {
        if (stop_.load()) return IoResult::Stopped;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return IoResult::Done;
}

IoResult StreamWriter::writeCommand(FramingKind framing, uint32_t code, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> packet(framedLength(framing, payload.size()));
    const size_t length = frameCommand(framing, code, payload.data(), payload.size(), packet.data(), packet.size());
    if (length == 0) return IoResult::Done;  // too long to frame: not sent
    packet.resize(length);
    if (faults_.wideFiller && framing == FramingKind::Wide) randomiseFiller(packet, random_);
    return writePacket(packet.data(), packet.size());
}

IoResult StreamWriter::writeVideo(const std::vector<uint8_t>& packet) {
    if (faults_.resetAfter >= 0 && videoPackets_ >= static_cast<uint64_t>(faults_.resetAfter)) {
        if (IoResult r = waitOutStall(); r != IoResult::Done) return r;
        // Lingering for no time makes the close abort the connection: the
        // client receives a reset instead of the end of the stream.
        const linger abort{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        resetByFault_ = true;
        return IoResult::Closed;
    }
    if (faults_.closeMidPacketAfter >= 0 && videoPackets_ >= static_cast<uint64_t>(faults_.closeMidPacketAfter)) {
        if (IoResult r = waitOutStall(); r != IoResult::Done) return r;
        emit(packet.data(), packet.size() / 2);
        closedByFault_ = true;
        return IoResult::Closed;
    }
    const IoResult result = writePacket(packet.data(), packet.size());
    if (result == IoResult::Done) ++videoPackets_;
    return result;
}

IoResult StreamWriter::writePacket(const uint8_t* data, size_t length) {
    if (IoResult r = waitOutStall(); r != IoResult::Done) return r;
    if (faults_.garbage) {
        const std::vector<uint8_t> bytes = junk(random_, 1 + random_() % kMaxJunk);
        if (IoResult r = emit(bytes.data(), bytes.size()); r != IoResult::Done) return r;
    }
    if (!faults_.splitMarkers || length < 8) return emit(data, length);
    // Each marker's first two bytes go out with what precedes them.
    const size_t cuts[] = {2, length - 2};
    size_t from = 0;
    for (size_t cut : cuts) {
        if (IoResult r = emit(data + from, cut - from); r != IoResult::Done) return r;
        std::this_thread::sleep_for(kSplitPause);
        from = cut;
    }
    return emit(data + from, length - from);
}

IoResult StreamWriter::emit(const uint8_t* data, size_t length) {
    if (!faults_.randomPieces) return writeAll(fd_, data, length, stop_);
    while (length > 0) {
        const size_t piece = std::min<size_t>(length, 1 + random_() % kMaxPiece);
        if (IoResult r = writeAll(fd_, data, piece, stop_); r != IoResult::Done) return r;
        data += piece;
        length -= piece;
    }
    return IoResult::Done;
}

}  // namespace orvix::sim
