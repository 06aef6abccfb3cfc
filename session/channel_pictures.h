// The decoded pictures of one recorder channel on their way to the pool's
// handles that show them. The channel is decoded once, whatever the number
// of such handles: in a set of several channels by the session's decode
// workers, in a set of one here, on the session's packet thread, from the
// packets of the frame ring. Decoding (re)starts at a key picture.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "core/device_record.h"
#include "link/frame_kind.h"
#include "session/channel_decoder.h"
#include "session/channel_events.h"

namespace orvix {

// Where a pool handle's pictures go.
class PictureTarget {
public:
    virtual ~PictureTarget() = default;
    // A decoded picture of the watched channel, valid only during the call.
    // On a decode worker or the session's packet thread; calls for one
    // target never overlap and come in stream order. Must not block, nor
    // release or change the handle.
    virtual void picture(const ChannelPicture& picture) = 0;
    // The size pictures decoded at `width` x `height` are wanted at (same
    // threads, same rules). The channel is converted to it when all its
    // targets ask for the same size, else handed on as decoded.
    virtual std::pair<int, int> pictureSize(int width, int height) { return {width, height}; }
};

class ChannelPictures {
public:
    explicit ChannelPictures(int channel);
    ChannelPictures(const ChannelPictures&) = delete;
    ChannelPictures& operator=(const ChannelPictures&) = delete;

    // Any thread. remove() returns once no call into `target` runs.
    void add(PictureTarget* target);
    void remove(PictureTarget* target);
    // Any thread: some target wants the pictures.
    bool wanted() const { return wanted_.load(); }

    // The session's threads: the size to convert to, and a decoded picture.
    std::pair<int, int> pictureSize(int width, int height);
    void deliver(const ChannelPicture& picture);

    // The session's packet thread (a set of one): one packet of the frame
    // ring, laid out as `kind`, decoded when wanted.
    void decodePacket(const uint8_t* slot, size_t length, FrameKind kind, const DeviceRecord& record);
    // A new stream of the channel (a connection, a set of one again): the
    // next decoded packet is a key picture.
    void restart() { restart_.store(true); }

private:
    const int channel_;
    std::mutex mutex_;
    std::vector<PictureTarget*> targets_;
    std::atomic<bool> wanted_{false};
    std::atomic<bool> restart_{true};
    // The packet thread's decoding.
    ChannelDecoder decoder_;
    uint8_t rawConfig_;
    bool awaitKey_ = true;
};

}  // namespace orvix
