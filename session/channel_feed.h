// One recorder channel's packets as they are handed on without decoding (an
// RTSP feed, a publisher, a recording): each packet becomes a codec-ready
// access unit with a smoothed time, key pictures carry the stream's
// configuration (H.264 parameter sets, MPEG-4 headers) in front when the
// recorder left it out, and the pictures from the last key picture on are
// kept so that a new target starts at once with a whole group. Targets take
// the pictures; one that has no room is skipped up to the next key picture,
// so a slow consumer never holds up the recorder, and the skipped pictures
// are counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "link/frame_kind.h"
#include "media/access_unit.h"
#include "media/video_codec.h"
#include "session/timestamp_smoother.h"

namespace orvix {

struct FeedFrame {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    int64_t timeNs = 0;     // on the channel's smoothed timeline
    int64_t arrivalNs = 0;  // monotonic clock when the packet was taken
    // The time of the feed's newest picture when this one is handed over:
    // later than timeNs for a picture of the kept group given to a new
    // target, so that the target can place the group before now.
    int64_t newestNs = 0;
    bool key = false;
};

class FeedTarget {
public:
    virtual ~FeedTarget() = default;
    // False when the target has no room for the picture. Called with the
    // feed locked, on the packet thread or in attach(): must not block.
    virtual bool offer(const FeedFrame& frame) = 0;
    // The stream ended (the recorder connection is gone). Called with the
    // feed locked: must not call back into it.
    virtual void end() = 0;
};

struct FeedCounters {
    uint64_t pictures = 0;  // pictures that became access units
    uint64_t bytes = 0;     // their bytes
    uint64_t drops = 0;     // pictures a target had to be skipped for, and packets
                            // the session's channel queue dropped
};

class ChannelFeed {
public:
    // Bytes of the kept group above which it is given up until the next key
    // picture (a new target then waits for that one).
    static constexpr size_t kMaxGroupBytes = 8u << 20;

    explicit ChannelFeed(int channel) : channel_(channel) {}
    ChannelFeed(const ChannelFeed&) = delete;
    ChannelFeed& operator=(const ChannelFeed&) = delete;

    int channel() const { return channel_; }  // 0-based

    // A new connection that sends `codec`: what the last one left is
    // forgotten (group, configuration, timeline, raw configuration memory).
    void start(VideoCodec codec);
    // The channel joins the set of a connection that runs: as start(), but
    // the configuration this connection sent before is kept (a recorder may
    // send it only once), unless the codec differs.
    void rejoin(VideoCodec codec);
    // A new connection that does not carry the channel (yet): the
    // configuration the last one sent is not this one's.
    void forgetConfiguration();
    // The same recorder streams again after its connection was lost and
    // made again: targets stay and go on at the next key picture, on the
    // same timeline (the outage becomes a gap); the configuration is kept.
    // A recorder that now sends another codec starts anew (targets end).
    void resume(VideoCodec codec);
    // The connection is gone: every target is told the stream ended and
    // let go; the feed is no longer ready.
    void stop();

    // The session's packet thread: one packet of this channel, laid out as
    // `kind`. Packets that give no access unit are dropped.
    void packet(const uint8_t* slot, size_t length, FrameKind kind, int64_t arrivalNs);
    // A session worker: one codec-ready access unit of this channel (the
    // raw kind's parameter set already in front where it belongs).
    void accessUnit(const AccessUnit& unit, int64_t arrivalNs);
    // Link thread: the session's queue of this channel dropped `count`
    // packets. Lock-free, as the link thread must not wait.
    void countQueueDrops(uint64_t count) { queueDrops_.fetch_add(count, std::memory_order_relaxed); }

    // A key picture has come since start(): a target attached now starts at
    // once.
    bool ready() const;
    VideoCodec codec() const;

    // Any thread. The target gets the kept group (when `withGroup`; else it
    // starts at the next key picture), then every picture until detach(),
    // which returns once no call into it is running.
    void attach(FeedTarget* target, bool withGroup = true);
    void detach(FeedTarget* target);
    size_t targets() const;

    FeedCounters counters() const;

private:
    struct Attached {
        FeedTarget* target;
        bool waitingForKey;  // takes nothing up to the next key picture
        bool overflowed;     // because it had no room (its skips count as drops)
    };
    std::vector<uint8_t> composeLocked(const uint8_t* prefix, size_t prefixLength, const uint8_t* payload,
                                       size_t payloadLength, bool key);
    void deliverLocked(Attached& attached, const FeedFrame& frame);
    void unitLocked(const AccessUnit& unit, int64_t arrivalNs);
    void forgetGroupLocked();
    // What start() and rejoin() share: a new timeline and group for `codec`.
    void restartLocked(VideoCodec codec);

    const int channel_;
    mutable std::mutex mutex_;
    VideoCodec codec_ = VideoCodec::None;
    uint8_t rawConfig_ = 0;
    std::vector<uint8_t> configuration_;  // the stream headers last seen
    VideoCodec configurationCodec_ = VideoCodec::None;
    TimestampSmoother smoother_;
    std::vector<FeedFrame> group_;        // from the last key picture on
    size_t groupBytes_ = 0;
    bool groupValid_ = false;
    std::vector<Attached> attached_;
    FeedCounters counters_;
    std::atomic<uint64_t> queueDrops_{0};
};

}  // namespace orvix
