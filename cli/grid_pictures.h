// The client's side of a shown channel set: each channel's pictures are
// reported to the message loop, the newest of each is kept for the mosaic
// while a snapshot is wanted, and each channel's packets and picture sizes
// go to the recording. A channel whose pictures are too large for the
// session is noted for the client to tell; its size still goes to the
// recording, which keeps it whole.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "session/channel_events.h"
#include "session/message_loop.h"

namespace orvix::cli {

class SegmentedGridRecording;

// A channel's newest picture: rows of width * 4 bytes, no gaps.
struct ChannelKept {
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
    uint32_t seconds = 0;
};

class GridPictures final : public ChannelEvents {
public:
    GridPictures(MessageLoop& loop, bool keepPictures, SegmentedGridRecording* recorder)
        : loop_(loop), keepPictures_(keepPictures), recorder_(recorder) {}

    // Decode workers.
    void picture(int channel, const ChannelPicture& frame) override;
    void packet(int channel, const AccessUnit& unit) override;
    void oversized(int channel, int width, int height) override;

    // Loop thread: the channels found too large since the last call, in
    // the order they came, each with its picture size.
    struct Oversized {
        int channel = 0;
        int width = 0;
        int height = 0;
    };
    std::vector<Oversized> takeOversized();

    // The kept pictures stay as they are from now on.
    void freeze();
    // Any thread, once the workers have ended.
    ChannelKept kept(int channel) const;

private:
    MessageLoop& loop_;
    const bool keepPictures_;
    SegmentedGridRecording* const recorder_;
    mutable std::mutex mutex_;
    bool frozen_ = false;
    std::array<ChannelKept, 16> kept_;
    std::vector<Oversized> oversized_;
};

}  // namespace orvix::cli
