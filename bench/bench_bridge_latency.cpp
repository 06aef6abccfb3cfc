// The bridge's added delay on loopback, for an MPEG-4 and an H.264
// recorder: a recorder in this process writes a 704x576 picture every
// 80 ms, noting when; the whole bridge (front, RTSP server, recorder pool)
// serves it over RTSP/TCP to a GStreamer client in this process (rtspsrc, no
// jitter buffer delay) that notes when each picture is whole. Printed per
// codec: the median from write to RTSP client, beside the median from write
// to the bridge's own channel feed (the link's share), measured in the same
// run.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-thread-pool.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/latency_support.h"
#include "bridge/bridge_service.h"
#include "bridge/watch_result_text.h"
#include "core/text_codec.h"

using namespace orvix;
using namespace orvix::bridge;
using bench::Clock;

namespace {

constexpr int kPictures = 60;
constexpr int kKeyInterval = 10;
constexpr auto kPeriod = std::chrono::milliseconds(80);
// Pictures of the group a new client starts with, and the start-up: not counted.
constexpr int kSkipped = 15;
constexpr double kTargetMs = 5.0;

struct Timing {
    std::mutex mutex;
    Clock::time_point lastWrite;
    std::vector<double> feedMs;
    std::vector<double> clientMs;
    int clientPictures = 0;

    void written() {
        std::lock_guard<std::mutex> lock(mutex);
        lastWrite = Clock::now();
    }
    double sinceWrite() {
        std::lock_guard<std::mutex> lock(mutex);
        return bench::millisecondsBetween(lastWrite, Clock::now());
    }
};

class FeedTiming final : public FeedTarget {
public:
    explicit FeedTiming(Timing& timing) : timing_(timing) {}
    bool offer(const FeedFrame&) override {
        const double ms = timing_.sinceWrite();
        std::lock_guard<std::mutex> lock(timing_.mutex);
        if (++seen_ > kSkipped) timing_.feedMs.push_back(ms);
        return true;
    }
    void end() override {}

private:
    Timing& timing_;
    int seen_ = 0;
};

GstFlowReturn onSample(GstAppSink* sink, gpointer data) {
    auto& timing = *static_cast<Timing*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    const double ms = timing.sinceWrite();
    {
        std::lock_guard<std::mutex> lock(timing.mutex);
        if (++timing.clientPictures > kSkipped) timing.clientMs.push_back(ms);
    }
    if (sample != nullptr) gst_sample_unref(sample);
    return GST_FLOW_OK;
}

struct Codec {
    const char* name;
    const char* encoder;
    uint32_t modelCode;
    FramingKind framing;
    const char* depayloader;
};

void measure(const Codec& codec) {
    const test::EncodedStream stream = test::encodePattern(codec.encoder, 704, 576, kPictures, kKeyInterval);
    Timing timing;
    test::ScriptedPeer peer;
    EventLog log([](const std::string&) {});
    BridgeSettings settings;
    settings.front.listen = {ListenAddress{"127.0.0.1", 0, false}};
    ServedRecorder recorder;
    recorder.settings.name = "bench";
    recorder.settings.target = "scripted";
    recorder.channels = {1};
    const uint16_t port = peer.port();
    recorder.settings.fillRecord = [port, framing = codec.framing](DeviceRecord& record) {
        record.id = 1;
        record.useStatic = 1;
        record.framingKind = framing == FramingKind::Plain ? 1 : 0;
        setText(record.address, u"127.0.0.1");
        record.port = port;
    };
    settings.recorders.push_back(recorder);
    BridgeService bridge(settings, log);
    std::string error;
    if (!bridge.start(error)) {
        std::printf("(e) bridge latency %s: %s\n", codec.name, error.c_str());
        return;
    }

    // The recorder: handshake, then a picture every period.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        if (!bench::answerHandshake(peer, codec.modelCode, codec.framing)) return;
        bench::PacedPictures paced;
        paced.count = kPictures;
        paced.period = kPeriod;
        paced.seconds = [](int i) { return 1325376000 + static_cast<uint32_t>(i / 10); };
        paced.beforeWrite = [&](int) { timing.written(); };
        paced.stop = [&] { return done.load(); };
        bench::writePictures(peer, stream, paced);
    });

    FeedTiming feedTiming(timing);
    PoolHandle handle = bridge.pool().watch("bench", 0);
    const WatchResult watched = handle.waitReady(std::chrono::seconds(10));
    if (watched == WatchResult::Ready) handle.attachPackets(&feedTiming, false);

    const std::string location = bridge.rtspUrls().front() + "bench/1";
    GError* parseError = nullptr;
    GstElement* client = gst_parse_launch(("rtspsrc location=" + location + " protocols=tcp latency=0 buffer-mode=none ! " +
                                           codec.depayloader + " ! appsink name=sink sync=false")
                                              .c_str(),
                                          &parseError);
    if (client != nullptr && parseError == nullptr) {
        GstElement* sink = gst_bin_get_by_name(GST_BIN(client), "sink");
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = onSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &timing, nullptr);
        gst_object_unref(sink);
        gst_element_set_state(client, GST_STATE_PLAYING);
    }
    writer.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    done.store(true);
    if (client != nullptr) {
        gst_element_set_state(client, GST_STATE_NULL);
        gst_object_unref(client);
    }
    if (parseError != nullptr) g_error_free(parseError);
    handle.release();
    bridge.stop();

    std::lock_guard<std::mutex> lock(timing.mutex);
    if (timing.clientMs.empty()) {
        std::printf("(e) bridge latency %s: no picture reached the RTSP client (%s)\n", codec.name, describe(watched));
        return;
    }
    const double feed = bench::median(timing.feedMs);
    const double rtsp = bench::median(timing.clientMs);
    std::printf("(e) added delay recorder write -> RTSP client on loopback, %s: median %.2f ms over %zu pictures "
                "(%.2f ms of it to the bridge's feed, %.2f ms RTSP side); %.2fx of the %.0f ms target%s\n",
                codec.name, rtsp, timing.clientMs.size(), feed, rtsp - feed, rtsp / kTargetMs, kTargetMs,
                rtsp < kTargetMs ? "" : "  [above target]");
}

}  // namespace

int main() {
    gst_init(nullptr, nullptr);
    const Codec codecs[] = {
        {"MPEG-4", "mpeg4", 11, FramingKind::Wide, "rtpmp4vdepay"},
        {"H.264", "libx264", 51, FramingKind::Plain, "rtph264depay"},
    };
    for (const Codec& codec : codecs) measure(codec);
    gst_rtsp_thread_pool_cleanup();
    return 0;
}
