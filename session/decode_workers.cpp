#include "session/decode_workers.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "core/debug_log.h"
#include "link/frame_kind.h"
#include "link/recorder_connection.h"

namespace orvix {
namespace {

// How long a worker waits for a channel before it looks at the stop again.
constexpr std::chrono::milliseconds kWorkerWait{200};
// Packets a worker takes of one channel before it lets the others go first.
constexpr int kPacketsPerTurn = 4;

}  // namespace

DecodeWorkers::DecodeWorkers(ChannelQueues& queues, const DeviceRecord& record, LinkShared& shared,
                             ChannelEvents& events, bool decode, int64_t picturePixels)
    : queues_(queues), record_(record), shared_(shared), events_(events), decode_(decode), budget_(picturePixels) {
    for (int c = 0; c < ChannelQueues::kChannels; ++c) {
        Channel& channel = channels_[static_cast<size_t>(c)];
        channel.rawConfig = kRawConfigInitial;
        // Converted straight to the size the channel is shown at.
        channel.decoder.setConvertedSize(
            [this, c](int width, int height) { return events_.pictureSize(c, width, height); });
        // Runs on the worker that holds the channel for the decode.
        channel.decoder.setAdmission([this, c, &channel](int width, int height) {
            if (budget_.admit(c, width, height)) return true;
            channel.refusedWidth = width;
            channel.refusedHeight = height;
            return false;
        });
    }
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
    for (int i = 0; i < ChannelQueues::kChannels; ++i) {
        channels_[static_cast<size_t>(i)].decoder.close();
        budget_.release(i);
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
    AccessUnit unit;
    const AccessUnitStep step = readAccessUnit(state.packet.bytes.data(), state.packet.bytes.size(),
                                               frameKindForModel(record_.modelIndex.load()), channel,
                                               state.rawConfig, unit);
    if (step == AccessUnitStep::NoParameterSet) state.decoder.reportMissingParameterSet(unit.resolutionCode);
    if (step != AccessUnitStep::Ready) return;
    events_.packet(channel, unit);
    if (!decode_ || !events_.decodes(channel)) {
        state.awaitKey = true;
        return;
    }
    if (state.awaitKey && !unit.keyPicture) return;
    state.awaitKey = false;

    ChannelPicture frame;
    const bool decoded = state.decoder.decode(unit, state.rawConfig, record_, frame);
    if (state.refusedWidth != 0) return dropOversized(channel, state);
    if (!decoded) return;
    shared_.framesCounter.fetch_add(1);
    shared_.shownSeconds.store(frame.recorderSeconds);
    state.pictures.fetch_add(1);
    events_.picture(channel, frame);
}

void DecodeWorkers::dropOversized(int channel, Channel& state) {
    // Whatever the decoder allocated for the channel goes; the next packet
    // opens it again, and its next key picture asks the budget again.
    state.decoder.close();
    state.rawConfig = kRawConfigInitial;
    budget_.release(channel);
    const int width = std::exchange(state.refusedWidth, 0);
    const int height = std::exchange(state.refusedHeight, 0);
    if (width == state.reportedWidth && height == state.reportedHeight) return;
    state.reportedWidth = width;
    state.reportedHeight = height;
    debugLogf("CH %02d: pictures of %dx%d exceed the session's picture budget, not decoded \r\n", channel + 1, width,
              height);
    events_.oversized(channel, width, height);
}

}  // namespace orvix
