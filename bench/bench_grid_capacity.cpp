// How many 704x576 H.264 channels at 25 pictures a second this machine
// decodes through one session with under 1% of the pictures lost: the
// recorder simulator runs in this process, replaying a pre-encoded loop per
// camera (so encoding costs nothing while it is measured), and a session
// shows 4, 8, 12 and 16 of its channels in turn. A picture counts as lost
// when it was dropped from a full queue or never came because the session
// could not take it in time (fewer than 25 a second per channel).
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "cli/cli_client.h"
#include "link/link_status.h"
#include "session/packet_sink.h"
#include "session/video_session.h"
#include "tools/recorder_sim/recorder_simulator.h"

using namespace orvix;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFramesPerSecond = 25;
constexpr int kMeasureSeconds = 4;

class Counting : public ChannelEvents {
public:
    void picture(int channel, const ChannelPicture&) override { ++pictures[static_cast<size_t>(channel)]; }
    std::array<std::atomic<int>, 16> pictures{};
};

class NoPackets : public PacketSink {
public:
    void packet(const uint8_t*, size_t) override {}
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The share of pictures lost with `channels` shown; negative when the run
// could not be made.
double lostShare(int channels) {
    sim::SimOptions options;
    options.modelCode = 51;  // H.264
    options.channels = channels;
    options.width = 704;
    options.height = 576;
    options.framesPerSecond = kFramesPerSecond;
    options.loopSeconds = 1;
    options.echoIntervalSeconds = 0;
    sim::RecorderSimulator simulator(options);
    simulator.setNoticeSink([](const std::string&) {});
    if (!simulator.start(nullptr)) return -1;

    DeviceRecord* record = createRecord();
    cli::CliOptions client;
    client.host = "127.0.0.1";
    client.port = simulator.port();
    client.user = "admin";
    client.password = "1234";
    client.framingKind = 1;
    fillRecord(*record, client);
    CallingThread owner;
    SessionEvents quiet;
    Counting counting;
    NoPackets sink;
    double lost = -1;
    {
        VideoSession session(owner, quiet);
        session.shared().iframeOnly.store(0);
        session.setChannelEvents(&counting);
        ChannelSet set;
        for (int c = 0; c < channels; ++c) set.add(c);
        session.setChannels(set);
        if (session.setUp(record, sink) == VideoSession::SetUpResult::Started) {
            session.startLink();
            // Every channel has begun (the loops are encoded at the connect).
            const bool flowing = waitUntil(
                [&] {
                    for (int c = 0; c < channels; ++c) {
                        if (counting.pictures[static_cast<size_t>(c)].load() < kFramesPerSecond) return false;
                    }
                    return true;
                },
                60000);
            if (flowing) {
                std::array<int, 16> before{};
                std::array<uint64_t, 16> droppedBefore{};
                for (int c = 0; c < channels; ++c) {
                    before[static_cast<size_t>(c)] = counting.pictures[static_cast<size_t>(c)].load();
                    droppedBefore[static_cast<size_t>(c)] = session.droppedPackets(c);
                }
                std::this_thread::sleep_for(std::chrono::seconds(kMeasureSeconds));
                const double expected = static_cast<double>(kFramesPerSecond) * kMeasureSeconds * channels;
                double got = 0;
                double dropped = 0;
                for (int c = 0; c < channels; ++c) {
                    got += counting.pictures[static_cast<size_t>(c)].load() - before[static_cast<size_t>(c)];
                    dropped += static_cast<double>(session.droppedPackets(c) - droppedBefore[static_cast<size_t>(c)]);
                }
                const double missing = expected - got > 0 ? expected - got : 0;
                lost = (missing > dropped ? missing : dropped) / expected;
                std::printf("    %2d channels: %.0f of %.0f pictures, %.0f dropped from full queues: %.2f%% lost\n",
                            channels, got, expected, dropped, 100 * lost);
            }
            session.disconnect(nullptr);
        }
        session.tearDown();
    }
    simulator.stop();
    destroyRecord(record);
    return lost;
}

}  // namespace

int main() {
    int capacity = 0;
    for (int channels : {4, 8, 12, 16}) {
        const double lost = lostShare(channels);
        if (lost < 0) {
            std::printf("(grid-e) the run with %d channels could not be made\n", channels);
            break;
        }
        if (lost >= 0.01) break;
        capacity = channels;
    }
    std::printf("(grid-e) 704x576 H.264 channels at 25 fps decoded with under 1%% lost: %d of those tried "
                "(4, 8, 12, 16; target 16 on 2 cores)\n",
                capacity);
    return 0;
}
