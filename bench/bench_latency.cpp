// Latency on loopback from the recorder writing a video packet to the client
// holding its RGB picture: a recorder in this process answers the handshake
// and writes one packet every 40 ms, noting when; the renderer notes when
// each picture arrives. Printed as the median beside the median time of one
// decode of the same packets.
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/latency_support.h"
#include "cli/cli_renderer.h"
#include "link/link_stop.h"
#include "media/video_decoder.h"
#include "session/renderer_switch.h"
#include "session/video_session.h"

using namespace orvix;
using namespace orvix::test;
using bench::Clock;

namespace {

constexpr uint32_t kBaseTime = 1325376000;
constexpr int kPictures = 100;

class TimingRenderer final : public Renderer {
public:
    bool present(const DisplayFrame& frame, const OverlayRows&) override {
        const auto now = Clock::now();
        const auto seconds = cli::parseDateText(frame.dateText, kDateTextChars);
        if (!seconds) return true;
        std::lock_guard<std::mutex> lock(mutex);
        shown.emplace(*seconds - kBaseTime, now);
        return true;
    }
    std::mutex mutex;
    std::map<uint32_t, Clock::time_point> shown;
};

}  // namespace

int main() {
    // Each picture's time is its index, so the renderer can tell them apart.
    const EncodedStream stream = encodePattern("mpeg4", 704, 576, kPictures, 25);

    // One decode of each packet, for the reference.
    std::vector<double> decodeMs;
    {
        DeviceRecord* record = createRecord();
        VideoDecoder decoder;
        DisplayFrame frame;
        decoder.attachFrame(&frame);
        decoder.open(720, 576, *record);
        for (const Packet& p : stream.packets) {
            const auto start = Clock::now();
            decoder.decode(p.data(), p.size());
            decodeMs.push_back(bench::millisecondsBetween(start, Clock::now()));
        }
        decoder.close();
        destroyRecord(record);
    }

    ScriptedPeer peer;
    CallingThread owner;
    SessionEvents quiet;
    VideoSession session(owner, quiet);
    TimingRenderer renderer;
    RendererSwitch renderers;
    renderers.setRenderers(&renderer, nullptr);
    DeviceRecord* record = createRecord();
    setText(record->name, u"bench");
    setText(record->address, u"127.0.0.1");
    record->useStatic = 1;
    record->port = peer.port();
    session.shared().iframeOnly.store(0);
    session.setUp(record, renderers);
    session.startLink();
    bench::answerHandshake(peer);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::vector<Clock::time_point> written;
    bench::PacedPictures paced;
    paced.count = kPictures;
    paced.period = std::chrono::milliseconds(40);
    paced.seconds = [](int i) { return kBaseTime + static_cast<uint32_t>(i); };
    paced.beforeWrite = [&](int) { written.push_back(Clock::now()); };
    bench::writePictures(peer, stream, paced);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<double> latencyMs;
    {
        std::lock_guard<std::mutex> lock(renderer.mutex);
        for (const auto& [index, when] : renderer.shown) {
            if (index < written.size()) {
                latencyMs.push_back(bench::millisecondsBetween(written[index], when));
            }
        }
    }
    session.disconnect(nullptr);
    session.tearDown();
    destroyRecord(record);

    const double decode = bench::median(decodeMs);
    const double latency = bench::median(latencyMs);
    std::printf("(c) latency from packet written to RGB picture held: median %.2f ms over %zu pictures; "
                "one decode %.2f ms (target below %.2f ms = 5 ms + one decode)%s\n",
                latency, latencyMs.size(), decode, 5.0 + decode, latency < 5.0 + decode ? "" : "  [above target]");
    return 0;
}
