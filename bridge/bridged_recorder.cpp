#include "bridge/bridged_recorder.h"

#include <cstdio>

#include "core/device_record.h"

#include "link/frame_kind.h"
#include "link/link_status.h"
#include "link/recorder_connection.h"
#include "media/video_codec.h"
#include "session/video_session.h"

namespace orvix::bridge {
namespace {

using Clock = std::chrono::steady_clock;

// The longest the recorder thread sleeps: for the close timer and the
// failure checks; notifications and watchers wake it at once.
constexpr auto kLoopSlice = std::chrono::milliseconds(250);

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// "channel 2" or "channels 1,3".
std::string channelsText(const ChannelSet& channels) {
    return (channels.size() == 1 ? "channel " : "channels ") + channels.text();
}

std::string secondsText(int milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
    return text;
}

const char* codecName(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::Mpeg4: return "MPEG-4";
        case VideoCodec::H264: return "H.264";
        case VideoCodec::None: break;
    }
    return "no video";
}

}  // namespace

const char* describe(WatchResult result) {
    switch (result) {
        case WatchResult::Ready: return "ready";
        case WatchResult::NoSuchChannel: return "the recorder has no such channel";
        case WatchResult::LoginRefused: return "the recorder refused the login";
        case WatchResult::Unreachable: return "the recorder cannot be reached";
        case WatchResult::TimedOut: return "no picture from the recorder in time";
        case WatchResult::Stopping: return "the bridge is stopping";
    }
    return "?";
}

BridgedRecorder::BridgedRecorder(RecorderSettings settings, EventLog& log)
    : settings_(std::move(settings)),
      log_(log),
      record_(createRecord()) {
    for (int c = 0; c < kMaxChannels; ++c) feeds_[static_cast<size_t>(c)] = std::make_unique<ChannelFeed>(c);
}

BridgedRecorder::~BridgedRecorder() {
    stop();
    destroyRecord(record_);
}

void BridgedRecorder::start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { run(); });
}

void BridgedRecorder::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    loop_.wake();
    if (thread_.joinable()) thread_.join();
}

void BridgedRecorder::setLostHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    lostHandler_ = std::move(handler);
}

ChannelSet BridgedRecorder::watchedLocked() const {
    ChannelSet watched;
    for (int c = 0; c < kMaxChannels; ++c) {
        if (watchers_[static_cast<size_t>(c)] > 0) watched.add(c);
    }
    return watched;
}

WatchResult BridgedRecorder::watch(int channel) {
    if (channel < 0 || channel >= kMaxChannels) return WatchResult::NoSuchChannel;
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) return WatchResult::Stopping;
    if (cameras_ > 0 && channel >= cameras_) return WatchResult::NoSuchChannel;
    if (state_ == State::Refused) return WatchResult::LoginRefused;

    ++watchers_[static_cast<size_t>(channel)];
    connectWanted_ = true;
    const uint64_t failuresBefore = failures_;
    loop_.wake();

    ChannelFeed& channelFeed = feed(channel);
    WatchResult result = WatchResult::TimedOut;
    changed_.wait_for(lock, settings_.joinWait, [&] {
        if (stopping_) {
            result = WatchResult::Stopping;
        } else if (state_ == State::Refused) {
            result = WatchResult::LoginRefused;
        } else if (failures_ != failuresBefore) {
            result = WatchResult::Unreachable;
        } else if (cameras_ > 0 && channel >= cameras_) {
            result = WatchResult::NoSuchChannel;
        } else if (state_ == State::Streaming && carried_.contains(channel) && channelFeed.ready()) {
            result = WatchResult::Ready;
        } else {
            return false;
        }
        return true;
    });
    // Waited through the recorder's absence: say so rather than blame the pictures.
    if (result == WatchResult::TimedOut && state_ == State::Reconnecting) result = WatchResult::Unreachable;
    if (result != WatchResult::Ready) {
        --watchers_[static_cast<size_t>(channel)];
        loop_.wake();
    }
    return result;
}

void BridgedRecorder::unwatch(int channel) {
    if (channel < 0 || channel >= kMaxChannels) return;
    std::lock_guard<std::mutex> lock(mutex_);
    int& count = watchers_[static_cast<size_t>(channel)];
    if (count > 0) --count;
    loop_.wake();
}

RecorderStatus BridgedRecorder::status() const {
    RecorderStatus status;
    std::lock_guard<std::mutex> lock(mutex_);
    status.name = settings_.name;
    switch (state_) {
        case State::Idle: status.state = "idle"; break;
        case State::Connecting: status.state = "connecting"; break;
        case State::Streaming: status.state = "streaming"; break;
        case State::Reconnecting: status.state = "reconnecting"; break;
        case State::Refused: status.state = "refused"; break;
    }
    status.carried = carried_;
    status.cameras = cameras_;
    status.bytes = bytesBefore_;
    for (int c = 0; c < kMaxChannels; ++c) {
        ChannelStatus channel;
        channel.channel = c + 1;
        channel.watchers = watchers_[static_cast<size_t>(c)];
        channel.counters = feeds_[static_cast<size_t>(c)]->counters();
        if (channel.watchers > 0 || channel.counters.pictures > 0) status.channels.push_back(channel);
    }
    return status;
}

template <typename Deliver>
void BridgedRecorder::deliver(int channel, Deliver&& toFeed) {
    if (channel < 0 || channel >= kMaxChannels) return;
    ChannelFeed& channelFeed = feed(channel);
    const bool wasReady = channelFeed.ready();
    toFeed(channelFeed);
    if (!wasReady && channelFeed.ready()) {
        // Taking the lock orders this after a watcher's look at the feed.
        { std::lock_guard<std::mutex> lock(mutex_); }
        changed_.notify_all();
    }
}

void BridgedRecorder::packet(const uint8_t* slot, size_t length) {
    const FrameKind kind = frameKindForModel(record_->modelIndex.load());
    deliver(record_->currentChannel.load(),
            [&](ChannelFeed& channelFeed) { channelFeed.packet(slot, length, kind, monotonicNs()); });
}

void BridgedRecorder::packet(int channel, const AccessUnit& unit) {
    deliver(channel, [&](ChannelFeed& channelFeed) { channelFeed.accessUnit(unit, monotonicNs()); });
}

void BridgedRecorder::picture(int, const ChannelPicture&) {
    // The bridge never decodes: the session is asked for packets only.
}

void BridgedRecorder::dropped(int channel, uint64_t) {
    // Told once per dropped packet.
    if (channel >= 0 && channel < kMaxChannels) feed(channel).countQueueDrops(1);
}

void BridgedRecorder::run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        loop_.runUntil(Clock::now() + kLoopSlice, true);
        tick();
    }
    if (session_ != nullptr) close("the bridge is stopping");
    changed_.notify_all();
}

void BridgedRecorder::tick() {
    ChannelSet watched;
    bool connectWanted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        watched = watchedLocked();
        connectWanted = connectWanted_ && !watched.empty() && state_ != State::Refused;
        if (session_ == nullptr) connectWanted_ = false;
        if (session_ != nullptr) bytesBefore_ += session_->takeReceivedBytes();
    }

    if (session_ == nullptr) {
        // Only a watcher that asked opens a connection; watchers left over
        // from a failed one do not.
        if (connectWanted) connect(watched);
        return;
    }

    bool refused = false;
    if (const auto cause = failureCause(refused)) {
        fail(*cause, refused);
        return;
    }

    const bool streaming = session_->streaming();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connectWanted_ = false;
        if (streaming && (state_ == State::Connecting || state_ == State::Reconnecting)) {
            const bool again = state_ == State::Reconnecting;
            state_ = State::Streaming;
            log_.event("recorder " + settings_.name + (again ? " reconnected: streams " : " streams ") +
                       channelsText(carried_) + " (" + codecName(codec_) + ")");
            changed_.notify_all();
        }
    }

    if (watched.empty()) {
        const auto now = Clock::now();
        if (!idleSince_) idleSince_ = now;
        if (now - *idleSince_ >= settings_.closeAfter) {
            const auto ms = settings_.closeAfter.count();
            close("no client for " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
        }
        return;
    }
    idleSince_.reset();
    // A set changes only while video flows: before, the login asks for the
    // set the connection was made with, and a reconnect for the last one.
    if (!streaming) return;
    const ChannelSet next = nextSet(watched);
    if (!(next == carried_)) changeSet(next);
}

ChannelSet BridgedRecorder::nextSet(const ChannelSet& watched) {
    const auto now = Clock::now();
    ChannelSet next;
    for (int c = 0; c < kMaxChannels; ++c) {
        auto& since = unwatchedSince_[static_cast<size_t>(c)];
        if (watched.contains(c)) {
            since.reset();
            next.add(c);
        } else if (carried_.contains(c)) {
            if (!since) since = now;
            if (now - *since < settings_.leaveGrace) next.add(c);
        } else {
            since.reset();
        }
    }
    return next;
}

void BridgedRecorder::changeSet(const ChannelSet& next) {
    const ChannelSet previous = carried_;
    // Feeds of joining channels take packets before the request goes out;
    // those of leaving channels stop once it went.
    for (int i = 0; i < next.size(); ++i) {
        if (!previous.contains(next.at(i))) feed(next.at(i)).start(codec_);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        carried_ = next;
    }
    session_->setChannels(next);
    for (int i = 0; i < previous.size(); ++i) {
        if (!next.contains(previous.at(i))) {
            feed(previous.at(i)).stop();
            unwatchedSince_[static_cast<size_t>(previous.at(i))].reset();
        }
    }
    log_.event("recorder " + settings_.name + " streams " + channelsText(next) + " (was " + previous.text() + ")");
}

void BridgedRecorder::connect(const ChannelSet& channels) {
    // A new attempt starts from the settings (a DDNS answer, the model and
    // what the recorder reported before are forgotten).
    releaseRecordTexts(*record_);
    initRecord(*record_);
    settings_.fillRecord(*record_);
    record_->currentChannel.store(channels.first());
    networkError_ = false;
    finalEnd_.reset();
    idleSince_.reset();
    unwatchedSince_ = {};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State::Connecting;
        carried_ = channels;
        codec_ = VideoCodec::None;
    }
    log_.event("recorder " + settings_.name + " connects to " + settings_.target + " for " + channelsText(channels));
    session_ = std::make_unique<VideoSession>(loop_, static_cast<SessionEvents&>(*this));
    // Every picture is passed on, not only key pictures.
    session_->setIFrameOnly(false);
    session_->setReconnect(settings_.reconnect);
    session_->setChannelEvents(this, false);
    session_->setChannels(channels);
    if (session_->setUp(record_, *this) != VideoSession::SetUpResult::Started) {
        fail("the connection could not be set up", false);
        return;
    }
    session_->startLink();
}

std::optional<std::string> BridgedRecorder::failureCause(bool& refused) {
    if (finalEnd_) return *finalEnd_;
    // The box comes only when no reconnect follows; the link recorded its
    // end before.
    if (networkError_) {
        const LinkEnd end = session_->linkEnd();
        return end.ended() ? end.text : std::string("network error");
    }
    const int status = session_->status();
    if (status == kStatusLoginFail) {
        refused = true;
        return std::string("the recorder refused the login");
    }
    if (status == kStatusModelMismatch) return std::string("the recorder's description was not understood");
    if (!session_->isSetUp()) return std::string("no connection");
    // A model without video would never become ready.
    if (described_ && codec_ == VideoCodec::None) return std::string("the recorder's model sends no video the bridge knows");
    // The link says itself how it ended (closed, reset, refused, no answer,
    // a cut command, a DDNS answer that leads nowhere), once no reconnect
    // follows: an end with a reconnect scheduled or pending is no failure.
    if (finalEnd_) return *finalEnd_;
    return std::nullopt;
}

void BridgedRecorder::endSession() {
    if (session_ != nullptr) {
        session_->disconnect([this](int milliseconds) { loop_.runFor(milliseconds); });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bytesBefore_ += session_->takeReceivedBytes();
        }
        session_->tearDown();
        session_.reset();
        // An end the link posted before it stopped is this connection's.
        loop_.forgetPosted();
    }
    for (auto& f : feeds_) f->stop();
    described_ = false;
    finalEnd_.reset();
}

void BridgedRecorder::close(const std::string& reason) {
    log_.event("recorder " + settings_.name + " closed: " + reason);
    endSession();
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Refused) state_ = State::Idle;
    carried_ = ChannelSet();
    changed_.notify_all();
}

void BridgedRecorder::fail(const std::string& cause, bool refused) {
    bool hadWatchers = false;
    std::function<void()> lost;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hadWatchers = !watchedLocked().empty();
        lost = lostHandler_;
    }
    log_.event("recorder " + settings_.name + (refused ? " refused the login (not tried again)" : " failed: " + cause));
    endSession();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = refused ? State::Refused : State::Idle;
        carried_ = ChannelSet();
        connectWanted_ = false;
        ++failures_;
        changed_.notify_all();
    }
    if (hadWatchers && lost) lost();
}

void BridgedRecorder::connected(const RecorderDescription& recorder) {
    const VideoCodec codec = codecForModel(recorder.modelIndex);
    const int cameras = recorder.cameraCount;
    // After a reconnect the same channels go on where they were.
    for (int i = 0; i < carried_.size(); ++i) {
        ChannelFeed& channelFeed = feed(carried_.at(i));
        if (described_) {
            channelFeed.resume(codec);
        } else {
            channelFeed.start(codec);
        }
    }
    described_ = true;
    std::lock_guard<std::mutex> lock(mutex_);
    codec_ = codec;
    cameras_ = cameras > 0 && cameras <= kMaxChannels ? cameras : 0;
    changed_.notify_all();
}

void BridgedRecorder::linkEnded(const LinkEnd& end) {
    if (session_ != nullptr) finalEnd_ = end.text.empty() ? std::string("the connection ended") : end.text;
}

void BridgedRecorder::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    if (session_ == nullptr) return;
    log_.event("recorder " + settings_.name + " reconnects in " + secondsText(delayMs) + " (attempt " +
               std::to_string(attempt) + "): " + end.text);
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Refused) state_ = State::Reconnecting;
    changed_.notify_all();
}

}  // namespace orvix::bridge
