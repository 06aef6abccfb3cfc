// The decoded pictures a session holds at once, counted in pixels over its
// channels. Each channel's decoder keeps several pictures of its size (the
// codec's reference pictures, the 32-bit conversion, and whatever the front
// end copies), so the pixels bound the session's memory: a channel asks for
// its picture size before its decoder allocates for it, and a size that would
// take the total over the budget is refused.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace orvix {

// Sixteen channels of 1920x1088 (a 1080p picture as coded), or two of the
// largest picture the decoder takes (4096x4096).
constexpr int64_t kSessionPicturePixels = int64_t{32} << 20;

class PictureBudget {
public:
    static constexpr int kChannels = 16;

    explicit PictureBudget(int64_t pixels = kSessionPicturePixels) : limit_(pixels) {}

    // Any thread: `channel` is to hold pictures of width x height from now
    // on, in place of what it held. False (and its share unchanged) when the
    // other channels' pictures leave too little room.
    bool admit(int channel, int width, int height);
    // Any thread: the channel holds no picture any more.
    void release(int channel);
    int64_t inUse() const;

private:
    mutable std::mutex mutex_;
    const int64_t limit_;
    std::array<int64_t, kChannels> held_{};
    int64_t total_ = 0;
};

}  // namespace orvix
