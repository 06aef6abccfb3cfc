// One recorder as the bridge serves it: its channel feeds, who watches which
// channel, and its one connection, opened when the first client asks for a
// channel and closed a while after the last one left.
//
// The connection carries the union of the channels watched: a channel
// joined or left changes the session's channel set with one data request,
// and every packet goes to the feed of its channel (a set of one through the
// session's packet thread, a larger set through its per-channel queues).
// A connection lost while clients watch is made again by the session's
// reconnect policy, and the feeds go on on the same timeline; only an end
// the session gives up on ends the watchers' streams.
//
// Threads: the recorder thread owns the session and handles the link's
// notifications; the session's packet thread and queue workers call
// packet(); watch() and unwatch() come from the RTSP server's client
// threads and the publishers.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/channel_feed.h"
#include "bridge/event_log.h"
#include "core/channel_set.h"
#include "core/device_record.h"
#include "link/reconnect_policy.h"
#include "session/channel_events.h"
#include "session/message_loop.h"
#include "session/packet_sink.h"
#include "session/session_events.h"

namespace orvix {
class VideoSession;
}

namespace orvix::bridge {

enum class WatchResult {
    Ready,          // the channel's pictures flow; attach to its feed
    NoSuchChannel,  // beyond the recorder's cameras
    LoginRefused,   // the recorder refused the account; not tried again
    Unreachable,    // the connection could not be made or was lost
    TimedOut,       // no picture within the join wait
    Stopping,       // the bridge is shutting down
};

const char* describe(WatchResult result);

struct RecorderSettings {
    std::string name;    // URL-safe: the first part of the channels' paths
    std::string target;  // where it is, for the log ("127.0.0.1:5000", "DDNS id X at host:port")
    // Fills a zeroed record for one connection attempt: address or DDNS,
    // account, password, stream type.
    std::function<void(DeviceRecord&)> fillRecord;
    std::chrono::milliseconds closeAfter{30000};  // after the last watcher left
    std::chrono::milliseconds joinWait{10000};    // a watcher waits this long for pictures
    // A channel no one watches any more stays in the set this long, so that
    // a client that looks and comes back at once (a probe, then the media)
    // costs no data requests.
    std::chrono::milliseconds leaveGrace{1000};
    // How a lost connection is made again while clients watch.
    ReconnectPolicy reconnect;
};

struct ChannelStatus {
    int channel = 0;  // 1-based
    int watchers = 0;
    FeedCounters counters;
};

struct RecorderStatus {
    std::string name;
    std::string state;   // idle, connecting, streaming, reconnecting, refused
    ChannelSet carried;  // the channels the connection carries, empty without one
    int cameras = 0;     // as the recorder reported, 0 before
    uint64_t bytes = 0;  // received over the connection (all connections)
    std::vector<ChannelStatus> channels;  // those watched or with pictures
};

class BridgedRecorder final : public PacketSink, private ChannelEvents, private SessionEvents {
public:
    BridgedRecorder(RecorderSettings settings, EventLog& log);
    ~BridgedRecorder() override;
    BridgedRecorder(const BridgedRecorder&) = delete;
    BridgedRecorder& operator=(const BridgedRecorder&) = delete;

    void start();
    // Closes the connection and ends the recorder thread; watchers waiting
    // get Stopping.
    void stop();

    const std::string& name() const { return settings_.name; }

    // `channel` 0-based. Counts a watcher and, when no connection runs,
    // opens one; waits until the channel's pictures flow (at most the join
    // wait). Anything but Ready leaves no watcher counted.
    WatchResult watch(int channel);
    // A watcher of `channel` is gone (after Ready only).
    void unwatch(int channel);

    ChannelFeed& feed(int channel) { return *feeds_[static_cast<size_t>(channel)]; }

    // Runs on the recorder thread after a connection that had watchers
    // failed for good (no reconnect follows): the owner ends those
    // watchers' client connections.
    void setLostHandler(std::function<void()> handler);

    RecorderStatus status() const;

    // The session's packet thread (a set of one channel).
    void packet(const uint8_t* slot, size_t length) override;

private:
    enum class State { Idle, Connecting, Streaming, Reconnecting, Refused };

    // The session's queue workers and link thread (a set of several).
    void picture(int channel, const ChannelPicture& frame) override;
    void packet(int channel, const AccessUnit& unit) override;
    void dropped(int channel, uint64_t total) override;
    // Wakes the watchers when `channel`'s feed became ready with a packet.
    template <typename Deliver>
    void deliver(int channel, Deliver&& toFeed);

    void run();
    void tick();
    void connect(const ChannelSet& channels);
    void close(const std::string& reason);
    // Stops and frees the session; every feed ends its targets.
    void endSession();
    // The connection failed or went away: `refused` for a refused login.
    void fail(const std::string& cause, bool refused);
    std::optional<std::string> failureCause(bool& refused);
    // The set the connection should carry now: the watched channels and
    // those left less than the grace ago.
    ChannelSet nextSet(const ChannelSet& watched);
    void changeSet(const ChannelSet& next);
    ChannelSet watchedLocked() const;

    // The session's events, on the recorder thread.
    void connected(const RecorderDescription& recorder) override;
    void networkError() override { networkError_ = true; }
    void linkEnded(const LinkEnd& end) override;
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;

    RecorderSettings settings_;
    EventLog& log_;
    std::array<std::unique_ptr<ChannelFeed>, kMaxChannels> feeds_;
    DeviceRecord* record_;
    // The recorder thread's loop: the link's notifications are handled on
    // it, and watchers wake it.
    MessageLoop loop_;
    std::unique_ptr<VideoSession> session_;  // recorder thread only
    std::thread thread_;
    std::function<void()> lostHandler_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::array<int, kMaxChannels> watchers_{};
    bool connectWanted_ = false;  // a watcher asked since the last attempt
    bool stopping_ = false;
    State state_ = State::Idle;
    ChannelSet carried_;          // written on the recorder thread only
    int cameras_ = 0;
    uint64_t failures_ = 0;       // counts failed or lost connections, for waiting watchers
    uint64_t bytesBefore_ = 0;    // received over every connection so far

    // Recorder thread only.
    VideoCodec codec_ = VideoCodec::None;
    bool described_ = false;      // the recorder described itself (VWM_CONNECTED)
    bool networkError_ = false;
    std::optional<std::string> finalEnd_;  // the link ended for good
    std::optional<std::chrono::steady_clock::time_point> idleSince_;
    std::array<std::optional<std::chrono::steady_clock::time_point>, kMaxChannels> unwatchedSince_;
};

}  // namespace orvix::bridge
