// The decode workers of a shown channel set: as many threads as cores (at
// least two) take channels off the per-channel queues, one worker per
// channel at a time, so each channel is decoded in order while different
// channels decode in parallel. Each channel has its own decoder, opened from
// the recorder's model as the single view's decoder is, and its own raw
// configuration memory (the fixed parameter sets of the raw kind). A channel
// whose pictures the events do not want (ChannelEvents::decodes) is handed
// on as packets only, and decoded again from its next key picture. The
// channels share one PictureBudget: a channel whose pictures would take the
// session over it is not decoded (its decoder is closed, its packets still
// go to the events) until its pictures fit again, and the events are told
// once per size.
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
#include "session/channel_decoder.h"
#include "session/channel_events.h"
#include "session/picture_budget.h"

namespace orvix {

class DecodeWorkers {
public:
    // `record` gives the model (read when a channel's first packet comes);
    // `shared` counts the pictures for the rates. `events` receives the
    // pictures (and packets); all must outlive the workers. With `decode`
    // false the workers only hand packets on (a recording or a feed).
    // `picturePixels` is the budget of decoded pixels over all channels.
    DecodeWorkers(ChannelQueues& queues, const DeviceRecord& record, LinkShared& shared, ChannelEvents& events,
                  bool decode = true, int64_t picturePixels = kSessionPicturePixels);
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
    // Decoded pixels the channels hold now (any thread).
    int64_t picturePixels() const { return budget_.inUse(); }

private:
    struct Channel {
        ChannelDecoder decoder;
        uint8_t rawConfig = 0;
        // Pictures were not wanted: decoding starts again at a key picture.
        bool awaitKey = false;
        QueuedPacket packet;  // the buffer the queue swaps packets into
        std::atomic<uint64_t> pictures{0};
        int refusedWidth = 0;  // the size the budget refused in this decode
        int refusedHeight = 0;
        int reportedWidth = 0;  // the refused size last reported
        int reportedHeight = 0;
    };

    void run();
    void process(int channel, Channel& state);
    // Closes the decoder of a channel the budget refused, once per size told.
    void dropOversized(int channel, Channel& state);

    ChannelQueues& queues_;
    const DeviceRecord& record_;
    LinkShared& shared_;
    ChannelEvents& events_;
    const bool decode_;
    PictureBudget budget_;
    std::array<Channel, ChannelQueues::kChannels> channels_;
    std::vector<std::thread> threads_;
    std::atomic<bool> quit_{false};  // a start that failed ends the workers it started
};

}  // namespace orvix
