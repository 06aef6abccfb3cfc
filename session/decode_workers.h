// The decode workers of a shown channel set: as many threads as cores (at
// least two) take channels off the per-channel queues, one worker per
// channel at a time, so each channel is decoded in order while different
// channels decode in parallel. Each channel has its own decoder, opened from
// the recorder's model as the single view's decoder is, and its own raw
// configuration memory (the fixed parameter sets of the raw kind).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "core/device_record.h"
#include "link/channel_queues.h"
#include "link/link_shared.h"
#include "session/channel_events.h"

namespace orvix {

class VideoDecoder;

class DecodeWorkers {
public:
    // `record` gives the model (read when a channel's first packet comes);
    // `shared` counts the pictures for the rates. `events` receives the
    // pictures (and packets); all must outlive the workers. With `decode`
    // false the workers only hand packets on (a recording or a feed).
    DecodeWorkers(ChannelQueues& queues, const DeviceRecord& record, LinkShared& shared, ChannelEvents& events,
                  bool decode = true);
    ~DecodeWorkers();  // stops and joins
    DecodeWorkers(const DecodeWorkers&) = delete;
    DecodeWorkers& operator=(const DecodeWorkers&) = delete;

    // Starts `count` workers (0: as many as cores, at least 2). False, with
    // none running, when a thread cannot be started.
    bool start(int count = 0);
    // Stops the queues and joins the workers.
    void stop();
    int workerCount() const { return static_cast<int>(threads_.size()); }

    // Pictures decoded for a channel (any thread).
    uint64_t pictures(int channel) const;

private:
    struct Channel {
        std::unique_ptr<VideoDecoder> decoder;
        int32_t openedModel = -1;
        uint8_t rawConfig = 0;
        QueuedPacket packet;  // the buffer the queue swaps packets into
        std::atomic<uint64_t> pictures{0};
    };

    void run();
    void process(int channel, Channel& state);

    ChannelQueues& queues_;
    const DeviceRecord& record_;
    LinkShared& shared_;
    ChannelEvents& events_;
    const bool decode_;
    std::array<Channel, ChannelQueues::kChannels> channels_;
    std::vector<std::thread> threads_;
    std::atomic<bool> quit_{false};  // a start that failed ends the workers it started
};

}  // namespace orvix
