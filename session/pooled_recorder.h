// One recorder of the pool: its channel feeds and pictures, the handles that
// watch its channels, and its one connection, opened when a handle asks for
// a channel and closed a while after the last handle went.
//
// The connection carries the union of the channels watched: a channel
// joined or left changes the session's channel set with one data request,
// and every packet goes to the feed of its channel (a set of one through the
// session's packet thread, a larger set through its per-channel queues and
// decode workers, which decode only the channels whose pictures a handle
// wants). A connection lost while handles watch is made again by the
// session's reconnect policy, and the feeds go on on the same timeline; only
// an end the session gives up on ends the packet targets' streams.
//
// Threads: the recorder thread owns the session, reads its reports and
// calls the handles' state listeners; the session's packet thread and
// decode workers deliver packets and pictures; the handles' owners call the
// rest from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/channel_set.h"
#include "core/device_record.h"
#include "link/reconnect_policy.h"
#include "session/channel_events.h"
#include "session/channel_feed.h"
#include "session/channel_pictures.h"
#include "session/packet_sink.h"
#include "session/recorder_state.h"
#include "session/session_reports.h"

namespace orvix {

class VideoSession;
class PooledRecorder;

struct RecorderSettings {
    std::string name;    // the pool's name for it, and the log's
    std::string target;  // where it is, for the log ("127.0.0.1:5000", "DDNS id X at host:port")
    // Fills a zeroed record for one connection attempt: address or DDNS,
    // account, password, stream type.
    std::function<void(DeviceRecord&)> fillRecord;
    std::chrono::milliseconds closeAfter{30000};  // after the last handle went
    // A channel no handle watches any more stays in the set this long, so
    // that a handle that looks and comes back at once (a probe, then the
    // media) costs no data requests.
    std::chrono::milliseconds leaveGrace{1000};
    // How a lost connection is made again while handles watch.
    ReconnectPolicy reconnect;
    // The longest delay between those attempts: handles wait for pictures,
    // so the policy's back-off stops here.
    std::chrono::milliseconds watchedRetryCap{5000};
    // A refused login is tried again this long after the refusal, while a
    // handle watches (one that comes later asks at once), or as soon as a
    // handle watches once `credentialStamp` tells of a change.
    std::chrono::milliseconds loginRetry{std::chrono::minutes(5)};
    // Any text that changes when the account or password may have changed
    // (a password file's modification time); unset: never. Called from any
    // thread.
    std::function<std::string()> credentialStamp;
    // A connection that failed (a refused login aside) while handles still
    // watch is tried again after `reconnect`'s delays, for as long as they
    // do (a wall that shows a recorder until it is back). Off: only a
    // handle that comes after the failure asks for a new connection.
    bool retryFailed = false;
};

enum class WatchResult {
    Ready,          // the channel's packets flow
    NoSuchChannel,  // beyond the recorder's cameras
    LoginRefused,   // the recorder refused the account (tried again only as RecorderSettings say)
    Unreachable,    // the connection could not be made or was lost
    TimedOut,       // no picture within the wait
    Stopping,       // the pool is stopping
};

struct ChannelStatus {
    int channel = 0;   // 1-based
    int watchers = 0;  // handles on it
    FeedCounters counters;
};

struct RecorderStatus {
    std::string name;
    RecorderState state;
    ChannelSet carried;  // the channels the connection carries, empty without one
    int cameras = 0;     // as the recorder reported, 0 before
    uint64_t bytes = 0;  // received over the connection (all connections)
    uint64_t reconnects = 0;  // lost connections made again (all connections)
    std::vector<ChannelStatus> channels;  // those watched or with pictures
};

// Another front end's connection to the recorder (a window that shows it
// too) that carries the channels the pool's handles watch, in place of a
// connection of the pool's own.
struct AdoptedConnection {
    VideoCodec codec = VideoCodec::None;
    int cameras = 0;  // as the recorder reported them, 0 when unknown
    // Recorder thread: the channels to carry, each time they change (empty
    // when none); must not block.
    std::function<void(const ChannelSet& channels)> carry;
    // Recorder thread: camera control for a carried channel; must not block.
    std::function<void(int channel, int action, int32_t preset)> control;
};

// A handle's hold on one channel of one recorder. The targets and the
// recorder belong to the handle's owner; `channel` changes only while the
// watch is in no recorder.
struct PoolWatch {
    PooledRecorder* recorder = nullptr;
    int channel = 0;
    uint64_t failuresBefore = 0;  // the recorder's failures when it came
    FeedTarget* packets = nullptr;
    bool withGroup = true;
    PictureTarget* pictures = nullptr;
    // The state listener runs under `callMutex`, on the recorder thread
    // that `listening` names, for the changes after the `since`-th.
    std::mutex callMutex;
    std::function<void(const RecorderState&)> listener;
    PooledRecorder* listening = nullptr;
    uint64_t since = 0;
    std::atomic<std::thread::id> calling{};
};

class PooledRecorder final : public PacketSink, private ChannelEvents {
public:
    using Log = std::function<void(const std::string& line)>;

    PooledRecorder(RecorderSettings settings, Log log);
    ~PooledRecorder() override;
    PooledRecorder(const PooledRecorder&) = delete;
    PooledRecorder& operator=(const PooledRecorder&) = delete;

    void start();
    // Closes the connection (saying `reason`) and ends the recorder thread;
    // waiting handles get Stopping.
    void stop(const std::string& reason);
    // After stop(): the recorder with `settings` (the same name), idle; the
    // handles left from before still count. start() runs it again.
    void renew(RecorderSettings settings);

    const std::string& name() const { return name_; }

    // A handle's owner. add() counts the watch (a connection is asked for
    // when none runs) and attaches its targets; remove() detaches them and
    // returns once no call into them or into the listener runs (unless it is
    // called from that listener).
    void add(const std::shared_ptr<PoolWatch>& watch);
    void remove(const std::shared_ptr<PoolWatch>& watch);
    void attachPackets(PoolWatch& watch, FeedTarget* target, bool withGroup);
    void setPictures(PoolWatch& watch, PictureTarget* target);
    void setListener(PoolWatch& watch, std::function<void(const RecorderState&)> listener);
    // Camera control (a PtzAction, the preset for 5 and 6) for `channel`,
    // sent on the recorder thread while video flows and the channel is
    // carried; dropped otherwise.
    void cameraControl(int channel, int action, int32_t preset);
    // Waits until the watch's channel flows (at most `limit`).
    WatchResult waitReady(const PoolWatch& watch, std::chrono::milliseconds limit);
    VideoCodec codec(int channel) const;

    // Any thread.
    RecorderState state() const;
    RecorderStatus status() const;
    // Runs on the recorder thread after a connection that had handles
    // failed for good (no reconnect follows).
    void setLostHandler(std::function<void()> handler);

    // Any thread. From adopt() on, `connection` carries the watched
    // channels: the pool's own is closed, and the other connection hands
    // their pictures and packets to guestEvents(). After giveBack() (the
    // other connection no longer carries them) the pool connects on its
    // own again while handles watch.
    void adopt(AdoptedConnection connection);
    void giveBack();
    ChannelEvents& guestEvents() { return *this; }

    // The session's packet thread (a set of one channel).
    void packet(const uint8_t* slot, size_t length) override;

private:
    // The session's decode workers and link thread (a set of several).
    void picture(int channel, const ChannelPicture& frame) override;
    std::pair<int, int> pictureSize(int channel, int width, int height) override;
    bool decodes(int channel) override;
    void packet(int channel, const AccessUnit& unit) override;
    void dropped(int channel, uint64_t total) override;
    // Wakes the waiting handles when `channel`'s feed became ready with a packet.
    template <typename Deliver>
    void deliver(int channel, Deliver&& toFeed);

    ChannelFeed& feed(int channel) { return *feeds_[static_cast<size_t>(channel)]; }
    ChannelPictures& pictures(int channel) { return *pictures_[static_cast<size_t>(channel)]; }

    void run();
    void tick();
    void onReport(const SessionReport& report);
    void connect(const ChannelSet& channels);
    void close(const std::string& reason);
    // Stops and frees the session; every feed ends its targets.
    void endSession();
    void fail(const std::string& cause, bool refused);
    // Whether a refused login is to be tried again now: its pause is over
    // or the credentials changed. Any thread; takes the lock itself.
    bool loginRetryDue();
    std::string credentialStamp();
    // After a failure with handles left: the next attempt after a delay.
    void scheduleRetry(const std::string& cause);
    void sendCameraControls();
    // Recorder thread: an adoption or its end asked for, and the set the
    // adopted connection carries.
    void takeAdoption();
    void carryAdopted(const ChannelSet& watched);
    // Moves to the phase `step` leads to, with `details` where they apply,
    // wakes the waiting handles and tells the listeners when it changed.
    void enter(RecorderStep step, const RecorderState& details = {});
    void announce(const RecorderState& state, uint64_t change);
    // The set the connection should carry now: the watched channels and
    // those left less than the grace ago.
    ChannelSet nextSet(const ChannelSet& watched);
    void changeSet(const ChannelSet& next);
    ChannelSet watchedLocked() const;

    const std::string name_;
    RecorderSettings settings_;  // replaced only while no recorder thread runs
    Log log_;
    std::array<std::unique_ptr<ChannelFeed>, kMaxChannels> feeds_;
    std::array<std::unique_ptr<ChannelPictures>, kMaxChannels> pictures_;
    DeviceRecord* record_;
    SessionReports reports_;
    std::unique_ptr<VideoSession> session_;  // recorder thread only
    std::thread thread_;
    std::function<void()> lostHandler_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<PoolWatch>> watches_;
    bool connectWanted_ = false;  // a handle came since the last attempt
    bool stopping_ = false;
    std::string stopReason_;
    RecorderState state_;
    uint64_t changes_ = 0;        // of state_
    ChannelSet carried_;          // written on the recorder thread only
    int cameras_ = 0;
    uint64_t failures_ = 0;       // counts failed or lost connections, for waiting handles
    uint64_t bytesBefore_ = 0;    // received over every connection so far
    uint64_t reconnects_ = 0;
    // A refused login: when, the credentials' stamp of that attempt, and
    // whether a handle asked for it to be tried again.
    std::chrono::steady_clock::time_point refusedAt_{};
    std::string refusedStamp_;
    bool loginRetryWanted_ = false;

    struct CameraCommand {
        int channel;
        int action;
        int32_t preset;
    };
    std::vector<CameraCommand> cameraCommands_;
    std::optional<AdoptedConnection> adoptPending_;
    bool givenBack_ = false;

    // Recorder thread only.
    std::optional<AdoptedConnection> adopted_;
    VideoCodec codec_ = VideoCodec::None;
    std::string attemptStamp_;  // the credentials' stamp of this connection
    bool described_ = false;  // on the connection now made
    std::optional<std::chrono::steady_clock::time_point> retryAt_;
    int retryAttempt_ = 0;
    std::mt19937 random_{std::random_device{}()};
    std::optional<std::chrono::steady_clock::time_point> idleSince_;
    std::array<std::optional<std::chrono::steady_clock::time_point>, kMaxChannels> unwatchedSince_;
};

}  // namespace orvix
