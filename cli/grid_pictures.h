// The client's side of a shown channel set: each channel's pictures are
// reported to the message loop, the newest of each is kept for the mosaic
// while a snapshot is wanted, and each channel's packets and picture sizes
// go to the recording.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "session/channel_events.h"
#include "session/message_loop.h"

namespace orvix::cli {

class GridRecorder;

// A channel's newest picture: rows of width * 4 bytes, no gaps.
struct ChannelKept {
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
    uint32_t seconds = 0;
};

class GridPictures final : public ChannelEvents {
public:
    GridPictures(MessageLoop& loop, bool keepPictures, GridRecorder* recorder)
        : loop_(loop), keepPictures_(keepPictures), recorder_(recorder) {}

    // Decode workers.
    void picture(int channel, const ChannelPicture& frame) override;
    void packet(int channel, const AccessUnit& unit) override;

    // The kept pictures stay as they are from now on.
    void freeze();
    // Any thread, once the workers have ended.
    ChannelKept kept(int channel) const;

private:
    MessageLoop& loop_;
    const bool keepPictures_;
    GridRecorder* const recorder_;
    mutable std::mutex mutex_;
    bool frozen_ = false;
    std::array<ChannelKept, 16> kept_;
};

}  // namespace orvix::cli
