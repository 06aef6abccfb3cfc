#include "session/decode_workers.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "link/frame_kind.h"
#include "link/recorder_connection.h"
#include "media/video_decoder.h"

namespace orvix {
namespace {

// How long a worker waits for a channel before it looks at the stop again.
constexpr std::chrono::milliseconds kWorkerWait{200};
// Packets a worker takes of one channel before it lets the others go first.
constexpr int kPacketsPerTurn = 4;
// The size a channel's decoder opens with (the pictures set their own).
constexpr int kOpenWidth = 720;
constexpr int kOpenHeight = 576;

}  // namespace

DecodeWorkers::DecodeWorkers(ChannelQueues& queues, const DeviceRecord& record, LinkShared& shared,
                             ChannelEvents& events, bool decode)
    : queues_(queues), record_(record), shared_(shared), events_(events), decode_(decode) {
    for (Channel& channel : channels_) channel.rawConfig = kRawConfigInitial;
}

DecodeWorkers::~DecodeWorkers() { stop(); }

bool DecodeWorkers::start(int count) {
    if (!threads_.empty()) return true;
    if (count <= 0) count = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
    try {
        for (int i = 0; i < count; ++i) threads_.emplace_back([this] { run(); });
    } catch (const std::system_error&) {
        // Those started end within one wait; the queues stay usable.
        quit_.store(true);
        for (std::thread& thread : threads_) thread.join();
        threads_.clear();
        quit_.store(false);
        return false;
    }
    return true;
}

void DecodeWorkers::stop() {
    queues_.stop();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
    threads_.clear();
    for (Channel& channel : channels_) {
        if (channel.decoder != nullptr) channel.decoder->close();
    }
}

uint64_t DecodeWorkers::pictures(int channel) const {
    if (channel < 0 || channel >= ChannelQueues::kChannels) return 0;
    return channels_[static_cast<size_t>(channel)].pictures.load();
}

void DecodeWorkers::run() {
    while (!queues_.stopped() && !quit_.load()) {
        const int channel = queues_.waitChannel(kWorkerWait);
        if (channel < 0) continue;
        Channel& state = channels_[static_cast<size_t>(channel)];
        for (int n = 0; n < kPacketsPerTurn && queues_.take(channel, state.packet); ++n) process(channel, state);
        queues_.done(channel);
    }
}

void DecodeWorkers::process(int channel, Channel& state) {
    const int32_t model = record_.modelIndex.load();
    AccessUnit unit;
    const AccessUnitStep step = readAccessUnit(state.packet.bytes.data(), state.packet.bytes.size(),
                                               frameKindForModel(model), channel, state.rawConfig, unit);
    if (step == AccessUnitStep::NoParameterSet && state.decoder != nullptr)
        state.decoder->reportMissingParameterSet(unit.resolutionCode);
    if (step != AccessUnitStep::Ready) return;
    events_.packet(channel, unit);
    if (!decode_) return;

    // Opened on the channel's first packet, and again when the recorder's
    // model (and so its codec) is another one than it was opened for.
    if (state.decoder == nullptr) {
        state.decoder = std::make_unique<VideoDecoder>();
        // Converted straight to the size the channel is shown at.
        state.decoder->setConvertedSize(
            [this, channel](int width, int height) { return events_.pictureSize(channel, width, height); });
    }
    if (state.openedModel != model) {
        if (state.decoder->open(kOpenWidth, kOpenHeight, record_) != 1) return;
        state.openedModel = model;
    }
    const DecodedPicture picture = state.decoder->decodeAccessUnit(unit, state.rawConfig);
    if (!picture) return;
    shared_.framesCounter.fetch_add(1);
    state.pictures.fetch_add(1);
    ChannelPicture frame;
    frame.pixels = picture.pixels;
    frame.width = picture.width;
    frame.height = picture.height;
    frame.rowBytes = picture.width * 4;
    frame.recorderSeconds = unit.recorderSeconds;
    frame.decodedWidth = picture.decodedWidth;
    frame.decodedHeight = picture.decodedHeight;
    events_.picture(channel, frame);
}

}  // namespace orvix
