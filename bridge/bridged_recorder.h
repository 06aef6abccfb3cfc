// One recorder as the bridge serves it: its channel feeds, who watches which
// channel, and its one connection, opened when the first client asks for a
// channel and closed a while after the last one left.
//
// This is where the bridge meets the session core, and where the session's
// coming features plug in:
// - channel sets: today a connection carries one channel, so the channels
//   watched at a time may be only one (sessionCarries()); a client asking
//   for a second channel of a recorder that is in use is refused. With
//   channel sets the union of the watched channels becomes the session's
//   set, and packet() dispatches each packet to the feed of its channel.
// - reconnect: today a lost connection ends its clients' streams and a new
//   connection is made only for a client that asks anew (never after a
//   refused login). With the session's reconnect policy, a connection lost
//   while clients watch is made again by the session, and the feeds go on.
//
// Threads: the recorder thread owns the session and handles the link's
// notifications; the session's packet thread calls packet(); watch() and
// unwatch() come from the RTSP server's client threads and the publishers.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/device_record.h"
#include "bridge/channel_feed.h"
#include "bridge/event_log.h"
#include "bridge/recorder_loop.h"
#include "video/packet_sink.h"

namespace orvix {
class VideoSession;
}

namespace orvix::bridge {

constexpr int kMaxChannels = 16;

enum class WatchResult {
    Ready,          // the channel's pictures flow; attach to its feed
    NoSuchChannel,  // beyond the recorder's cameras
    NotCarried,     // another channel of this recorder is in use
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
};

struct ChannelStatus {
    int channel = 0;  // 1-based
    int watchers = 0;
    FeedCounters counters;
};

struct RecorderStatus {
    std::string name;
    std::string state;   // idle, connecting, streaming, refused
    int carried = 0;     // 1-based channel of the connection, 0 without one
    int cameras = 0;     // as the recorder reported, 0 before
    uint64_t bytes = 0;  // received over the connection (all connections)
    std::vector<ChannelStatus> channels;  // those watched or with pictures
};

class BridgedRecorder final : public PacketSink {
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

    // Runs on the recorder thread after a connection that had watchers was
    // lost: the owner ends those watchers' client connections.
    void setLostHandler(std::function<void()> handler);

    RecorderStatus status() const;

    // The session's packet thread.
    void packet(const uint8_t* slot, size_t length) override;

    // The connection carries this set of channels (0-based).
    static bool sessionCarries(const std::set<int>& channels) { return channels.size() <= 1; }

private:
    enum class State { Idle, Connecting, Streaming, Refused };

    void run();
    void tick();
    void connect(int channel);
    void close(const std::string& reason);
    // Stops and frees the session; every feed ends its targets.
    void endSession();
    // The connection failed or went away: `refused` for a refused login.
    void fail(const std::string& cause, bool refused);
    std::optional<std::string> failureCause(bool& refused);
    void switchChannel(int channel);
    std::set<int> wantedLocked() const;
    std::string channelText(int channel) const;

    // Link notifications, on the recorder thread.
    void onMessage(WindowMessage message, WParam wParam, LParam lParam);

    RecorderSettings settings_;
    EventLog& log_;
    std::array<std::unique_ptr<ChannelFeed>, kMaxChannels> feeds_;
    DeviceRecord* record_;
    RecorderLoop loop_;
    std::unique_ptr<VideoSession> session_;  // recorder thread only
    std::thread thread_;
    std::function<void()> lostHandler_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::array<int, kMaxChannels> watchers_{};
    bool connectWanted_ = false;  // a watcher asked since the last attempt
    bool stopping_ = false;
    State state_ = State::Idle;
    int carried_ = -1;
    int cameras_ = 0;
    uint64_t failures_ = 0;       // counts failed or lost connections, for waiting watchers
    uint64_t bytesBefore_ = 0;    // received over every connection so far

    // Recorder thread only.
    VideoCodec codec_ = VideoCodec::None;
    bool described_ = false;      // the recorder described itself (VWM_CONNECTED)
    bool networkError_ = false;
    std::optional<std::chrono::steady_clock::time_point> idleSince_;
};

}  // namespace orvix::bridge
