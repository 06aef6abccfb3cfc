#include "bridge/bridged_recorder.h"


#include "app/device_record.h"

#include "link/link_status.h"
#include "link/recorder_connection.h"
#include "video/frame_kind.h"
#include "video/video_codec.h"
#include "video/video_session.h"

namespace orvix::bridge {
namespace {

using Clock = std::chrono::steady_clock;

// The longest the recorder thread sleeps: for the close timer and the
// failure checks; notifications and watchers wake it at once.
constexpr auto kLoopSlice = std::chrono::milliseconds(250);

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
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
        case WatchResult::NotCarried: return "another channel of this recorder is in use (one at a time)";
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
      record_(createRecord()),
      loop_([this](WindowMessage message, WParam wParam, LParam lParam) { onMessage(message, wParam, lParam); },
            [this] { networkError_ = true; }) {
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

std::set<int> BridgedRecorder::wantedLocked() const {
    std::set<int> wanted;
    for (int c = 0; c < kMaxChannels; ++c) {
        if (watchers_[static_cast<size_t>(c)] > 0) wanted.insert(c);
    }
    return wanted;
}

std::string BridgedRecorder::channelText(int channel) const {
    return settings_.name + "/" + std::to_string(channel + 1);
}

WatchResult BridgedRecorder::watch(int channel) {
    if (channel < 0 || channel >= kMaxChannels) return WatchResult::NoSuchChannel;
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) return WatchResult::Stopping;
    if (cameras_ > 0 && channel >= cameras_) return WatchResult::NoSuchChannel;
    if (state_ == State::Refused) return WatchResult::LoginRefused;
    std::set<int> wanted = wantedLocked();
    wanted.insert(channel);
    if (!sessionCarries(wanted)) return WatchResult::NotCarried;

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
        } else if (state_ == State::Streaming && carried_ == channel && channelFeed.ready()) {
            result = WatchResult::Ready;
        } else {
            return false;
        }
        return true;
    });
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
        case State::Refused: status.state = "refused"; break;
    }
    status.carried = carried_ >= 0 ? carried_ + 1 : 0;
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

void BridgedRecorder::packet(const uint8_t* slot, size_t length) {
    const int channel = record_->currentChannel.load();
    if (channel < 0 || channel >= kMaxChannels) return;
    ChannelFeed& channelFeed = feed(channel);
    const bool wasReady = channelFeed.ready();
    channelFeed.packet(slot, length, frameKindForModel(record_->modelIndex.load()), monotonicNs());
    if (!wasReady && channelFeed.ready()) {
        // Taking the lock orders this after a watcher's look at the feed.
        { std::lock_guard<std::mutex> lock(mutex_); }
        changed_.notify_all();
    }
}

void BridgedRecorder::run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        loop_.run(Clock::now() + kLoopSlice, true);
        tick();
    }
    if (session_ != nullptr) close("the bridge is stopping");
    changed_.notify_all();
}

void BridgedRecorder::tick() {
    std::set<int> wanted;
    bool connectWanted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wanted = wantedLocked();
        connectWanted = connectWanted_ && !wanted.empty() && state_ != State::Refused;
        if (session_ == nullptr) connectWanted_ = false;
        if (session_ != nullptr) bytesBefore_ += session_->shared().bytesCounter.exchange(0);
    }

    if (session_ == nullptr) {
        // Only a watcher that asked opens a connection; watchers left over
        // from a lost one do not.
        if (connectWanted) connect(*wanted.begin());
        return;
    }

    bool refused = false;
    if (const auto cause = failureCause(refused)) {
        fail(*cause, refused);
        return;
    }

    const bool streaming = session_->status() == kStatusDataSendOk &&
                           session_->shared().threadState.load() == kLinkRecorderExchange;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connectWanted_ = false;
        if (streaming && state_ == State::Connecting) {
            state_ = State::Streaming;
            log_.event("recorder " + settings_.name + " streams channel " + std::to_string(carried_ + 1) + " (" +
                       codecName(codec_) + ")");
            changed_.notify_all();
        }
    }

    if (wanted.empty()) {
        const auto now = Clock::now();
        if (!idleSince_) idleSince_ = now;
        if (now - *idleSince_ >= settings_.closeAfter) {
            const auto ms = settings_.closeAfter.count();
            close("no client for " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
        }
        return;
    }
    idleSince_.reset();
    if (streaming && wanted.count(carried_) == 0) switchChannel(*wanted.begin());
}

void BridgedRecorder::connect(int channel) {
    // A new attempt starts from the settings (a DDNS answer, the model and
    // what the recorder reported before are forgotten).
    releaseRecordTexts(*record_);
    initRecord(*record_);
    settings_.fillRecord(*record_);
    record_->currentChannel.store(channel);
    networkError_ = false;
    idleSince_.reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State::Connecting;
        carried_ = channel;
        codec_ = VideoCodec::None;
    }
    log_.event("recorder " + settings_.name + " connects to " + settings_.target + " for channel " +
               std::to_string(channel + 1));
    session_ = std::make_unique<VideoSession>(loop_);
    // Every picture is passed on, not only key pictures.
    session_->shared().iframeOnly.store(0);
    if (session_->setUp(record_, *this) != VideoSession::SetUpResult::Started) {
        fail("the connection could not be set up", false);
        return;
    }
    session_->startLink();
}

void BridgedRecorder::switchChannel(int channel) {
    const int previous = record_->currentChannel.load();
    feed(channel).start(codec_);
    record_->currentChannel.store(channel);
    session_->setChannel(channel, 0);
    feed(previous).stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        carried_ = channel;
    }
    log_.event("recorder " + settings_.name + " streams channel " + std::to_string(channel + 1) + " instead of " +
               std::to_string(previous + 1));
}

std::optional<std::string> BridgedRecorder::failureCause(bool& refused) {
    if (networkError_) return std::string("network error");
    const int status = session_->status();
    if (status == kStatusLoginFail) {
        refused = true;
        return std::string("the recorder refused the login");
    }
    if (status == kStatusModelMismatch) return std::string("the recorder's description was not understood");
    RecorderConnection* connection = session_->connection();
    if (connection == nullptr) return std::string("no connection");
    // A model without video would never become ready.
    if (described_ && codec_ == VideoCodec::None) return std::string("the recorder's model sends no video the bridge knows");
    // The link says itself how it ended: closed, reset, refused, no answer,
    // a cut command or a DDNS answer that leads nowhere.
    const LinkEnd end = session_->linkEnd();
    if (end.ended()) return end.text;
    return std::nullopt;
}

void BridgedRecorder::endSession() {
    if (session_ != nullptr) {
        session_->disconnect([this](int milliseconds) { loop_.runFor(milliseconds); });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bytesBefore_ += session_->shared().bytesCounter.exchange(0);
        }
        session_->tearDown();
        session_.reset();
    }
    for (auto& f : feeds_) f->stop();
    described_ = false;
}

void BridgedRecorder::close(const std::string& reason) {
    log_.event("recorder " + settings_.name + " closed: " + reason);
    endSession();
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Refused) state_ = State::Idle;
    carried_ = -1;
    changed_.notify_all();
}

void BridgedRecorder::fail(const std::string& cause, bool refused) {
    bool hadWatchers = false;
    std::function<void()> lost;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hadWatchers = !wantedLocked().empty();
        lost = lostHandler_;
    }
    log_.event("recorder " + settings_.name + (refused ? " refused the login (not tried again)" : " failed: " + cause));
    endSession();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = refused ? State::Refused : State::Idle;
        carried_ = -1;
        connectWanted_ = false;
        ++failures_;
        changed_.notify_all();
    }
    if (hadWatchers && lost) lost();
}

void BridgedRecorder::onMessage(WindowMessage message, WParam, LParam) {
    switch (message) {
        case VWM_SOCKET_RESET:
            if (session_ != nullptr) session_->resetSocket();
            break;
        case VWM_CONNECTED: {
            const VideoCodec codec = codecForModel(record_->modelIndex.load());
            const int cameras = record_->cameraCount;
            feed(record_->currentChannel.load()).start(codec);
            described_ = true;
            std::lock_guard<std::mutex> lock(mutex_);
            codec_ = codec;
            cameras_ = cameras > 0 && cameras <= kMaxChannels ? cameras : 0;
            changed_.notify_all();
            break;
        }
        default:
            break;
    }
}

}  // namespace orvix::bridge
