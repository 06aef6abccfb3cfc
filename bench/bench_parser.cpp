// Stream-parser throughput: the recorder stream parser over a stream of F5
// video packets, against memchr finding every zero byte of the same bytes
// (markers begin with one). Payloads are uniformly random bytes, as coded
// video is, with the end-marker sequences left out. Prints both speeds and
// their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "core/device_record.h"
#include "link/link_shared.h"
#include "link/recorder_connection.h"
#include "link/stream_parser.h"
#include "link/wire_format.h"

using namespace orvix;
using Clock = std::chrono::steady_clock;

namespace {

class CountingHandler final : public StreamHandler {
public:
    void onCommand(uint32_t, const uint8_t*, size_t) override {}
    void onVideo(const uint8_t*, size_t length, PushDiscipline) override {
        ++packets;
        bytes += length;
    }
    size_t packets = 0;
    size_t bytes = 0;
};

// F5 packets of the sizes a recorder sends (a key picture, then smaller
// ones); no end marker occurs inside a payload.
std::vector<uint8_t> makeStream(size_t total) {
    std::mt19937 random(1);
    std::vector<uint8_t> stream;
    stream.reserve(total + 300000);
    for (int index = 0; stream.size() < total; ++index) {
        const size_t payload = index % 25 == 0 ? 60000 : 8000 + random() % 8000;
        std::vector<uint8_t> packet(64, 0);
        packet[2] = 0x01;
        packet[3] = 0xF5;
        writeLe32(packet.data() + 4, 1325376000u + static_cast<uint32_t>(index / 25));
        packet[8] = static_cast<uint8_t>(index % 25 == 0 ? 0x10 : 0x20);
        uint32_t recent = 0xFFFFFFFF;
        for (size_t i = 0; i < payload; ++i) {
            uint8_t byte = static_cast<uint8_t>(random());
            const uint32_t next = (recent << 8) | byte;
            if (next == kWideEndMarker || next == kPlainEndMarker) byte ^= 0x01;
            recent = (recent << 8) | byte;
            packet.push_back(byte);
        }
        packet.insert(packet.end(), {0x00, 0x00, 0x01, 0xB4});
        writeLe32(packet.data() + 12, static_cast<uint32_t>(packet.size() - 36));
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    return stream;
}

double bestSeconds(int rounds, const auto& body) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        body();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    const std::vector<uint8_t> stream = makeStream(64u << 20);
    DeviceRecord* record = createRecord();
    LinkShared shared;
    shared.threadState.store(kLinkRecorderExchange);
    shared.iframeOnly.store(0);
    RecorderConnection connection;
    connection.record = record;
    connection.shared = &shared;
    if (!connection.allocateBuffers()) return 1;

    CountingHandler handler;
    constexpr size_t kChunk = 262144;  // what the link thread reads at once
    const double parseTime = bestSeconds(5, [&] {
        for (size_t at = 0; at < stream.size(); at += kChunk) {
            parseRecorderStream(connection, stream.data() + at, std::min(kChunk, stream.size() - at), handler);
        }
    });
    // The reference finds every zero byte (where markers begin) with memchr,
    // so it reads the whole stream as the parser does.
    size_t zeros = 0;
    const double scanTime = bestSeconds(5, [&] {
        zeros = 0;
        for (size_t at = 0; at < stream.size(); at += kChunk) {
            const uint8_t* p = stream.data() + at;
            const uint8_t* end = p + std::min(kChunk, stream.size() - at);
            while (p < end) {
                const void* hit = std::memchr(p, 0x00, static_cast<size_t>(end - p));
                if (hit == nullptr) break;
                ++zeros;
                p = static_cast<const uint8_t*>(hit) + 1;
            }
        }
    });
    const double megabytes = static_cast<double>(stream.size()) / 1e6;
    std::printf("(a) stream parser %.0f MB/s, memchr %.0f MB/s: %.2f of memchr's speed (target at least 0.50); "
                "%zu packets passed, %zu zero bytes\n",
                megabytes / parseTime, megabytes / scanTime, scanTime / parseTime, handler.packets / 5, zeros);
    destroyRecord(record);
    return 0;
}
