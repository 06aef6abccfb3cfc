#include "session/pooled_recorder.h"

#include <algorithm>
#include <cstdio>

#include "link/frame_kind.h"
#include "media/video_codec.h"
#include "session/video_session.h"

namespace orvix {
namespace {

using Clock = std::chrono::steady_clock;

// The longest the recorder thread sleeps: for the close timer and the
// failure checks; notifications and handles wake it at once.
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

// "300 ms", "30 s", "5 min".
std::string durationText(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms % 60000 == 0 && ms > 0) return std::to_string(ms / 60000) + " min";
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

const char* codecName(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::Mpeg4: return "MPEG-4";
        case VideoCodec::H264: return "H.264";
        case VideoCodec::None: break;
    }
    return "no video";
}

bool validChannel(int channel) { return channel >= 0 && channel < kMaxChannels; }

// Runs `change` under the watch's call lock, which its own listener holds
// already when the change comes from there.
template <typename Change>
void underCallLock(PoolWatch& watch, Change&& change) {
    if (watch.calling.load() == std::this_thread::get_id()) {
        change();
        return;
    }
    std::lock_guard<std::mutex> call(watch.callMutex);
    change();
}

}  // namespace

PooledRecorder::PooledRecorder(RecorderSettings settings, Log log)
    : name_(settings.name),
      settings_(std::move(settings)),
      log_(std::move(log)),
      record_(createRecord()),
      reports_([this](const SessionReport& report) { onReport(report); }) {
    for (int c = 0; c < kMaxChannels; ++c) {
        feeds_[static_cast<size_t>(c)] = std::make_unique<ChannelFeed>(c);
        pictures_[static_cast<size_t>(c)] = std::make_unique<ChannelPictures>(c);
    }
    if (!log_) log_ = [](const std::string&) {};
}

PooledRecorder::~PooledRecorder() {
    stop("the pool is stopping");
    destroyRecord(record_);
}

void PooledRecorder::start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { run(); });
}

void PooledRecorder::stop(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopping_) stopReason_ = reason;
        stopping_ = true;
    }
    changed_.notify_all();
    reports_.wake();
    if (thread_.joinable()) thread_.join();
}

void PooledRecorder::renew(RecorderSettings settings) {
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    settings.name = name_;
    settings_ = std::move(settings);
    stopping_ = false;
    stopReason_.clear();
    connectWanted_ = !watches_.empty();
    loginRetryWanted_ = false;
    cameras_ = 0;
    if (!(state_ == RecorderState{})) {
        state_ = RecorderState{};
        ++changes_;
    }
}

std::string PooledRecorder::credentialStamp() {
    std::function<std::string()> stamp;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stamp = settings_.credentialStamp;
    }
    return stamp ? stamp() : std::string();
}

bool PooledRecorder::loginRetryDue() {
    const std::string stamp = credentialStamp();
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.phase == RecorderPhase::LoginRefused &&
           (Clock::now() - refusedAt_ >= settings_.loginRetry || stamp != refusedStamp_);
}

void PooledRecorder::setLostHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    lostHandler_ = std::move(handler);
}

ChannelSet PooledRecorder::watchedLocked() const {
    std::array<bool, kMaxChannels> watched{};
    for (const auto& watch : watches_) watched[static_cast<size_t>(watch->channel)] = true;
    // Ascending, as the data request lists them; channels beyond the
    // recorder's cameras are never asked for.
    ChannelSet set;
    for (int c = 0; c < kMaxChannels; ++c) {
        if (watched[static_cast<size_t>(c)] && (cameras_ == 0 || c < cameras_)) set.add(c);
    }
    return set;
}

void PooledRecorder::add(const std::shared_ptr<PoolWatch>& watch) {
    if (!validChannel(watch->channel)) return;
    watch->recorder = this;
    if (watch->packets != nullptr) feed(watch->channel).attach(watch->packets, watch->withGroup);
    if (watch->pictures != nullptr) pictures(watch->channel).add(watch->pictures);
    const bool retryLogin = loginRetryDue();
    underCallLock(*watch, [&] {
        watch->listening = this;
        std::lock_guard<std::mutex> lock(mutex_);
        watch->since = changes_;
        watch->failuresBefore = failures_;
        watches_.push_back(watch);
        if (state_.phase != RecorderPhase::LoginRefused) {
            connectWanted_ = true;
        } else if (retryLogin) {
            loginRetryWanted_ = true;
        }
        reports_.wake();
    });
}

void PooledRecorder::remove(const std::shared_ptr<PoolWatch>& watch) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = std::find(watches_.begin(), watches_.end(), watch);
        if (found == watches_.end()) return;
        watches_.erase(found);
        reports_.wake();
    }
    if (watch->packets != nullptr) feed(watch->channel).detach(watch->packets);
    if (watch->pictures != nullptr) pictures(watch->channel).remove(watch->pictures);
    // Returns once its listener is not running (unless called from there).
    underCallLock(*watch, [&] { watch->listening = nullptr; });
    watch->recorder = nullptr;
}

void PooledRecorder::cameraControl(int channel, int action, int32_t preset) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cameraCommands_.push_back({channel, action, preset});
    }
    reports_.wake();
}

void PooledRecorder::sendCameraControls() {
    std::vector<CameraCommand> commands;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands.swap(cameraCommands_);
    }
    if (adopted_) {
        for (const CameraCommand& command : commands) {
            if (carried_.contains(command.channel) && adopted_->control) {
                adopted_->control(command.channel, command.action, command.preset);
            }
        }
        return;
    }
    if (session_ == nullptr || !reports_.videoFlows()) return;
    for (const CameraCommand& command : commands) {
        if (!carried_.contains(command.channel)) continue;
        // The command names the record's current channel; in a set of
        // several it chooses nothing else (the set is asked for as a whole),
        // in a set of one it is that channel already.
        const int current = record_->currentChannel.load();
        record_->currentChannel.store(command.channel);
        session_->ptz(command.action, command.preset);
        record_->currentChannel.store(current);
    }
}

void PooledRecorder::attachPackets(PoolWatch& watch, FeedTarget* target, bool withGroup) {
    if (watch.packets != nullptr) feed(watch.channel).detach(watch.packets);
    watch.packets = target;
    watch.withGroup = withGroup;
    if (target != nullptr) feed(watch.channel).attach(target, withGroup);
}

void PooledRecorder::setPictures(PoolWatch& watch, PictureTarget* target) {
    if (watch.pictures != nullptr) pictures(watch.channel).remove(watch.pictures);
    watch.pictures = target;
    if (target != nullptr) pictures(watch.channel).add(target);
}

void PooledRecorder::setListener(PoolWatch& watch, std::function<void(const RecorderState&)> listener) {
    underCallLock(watch, [&] {
        watch.listener = std::move(listener);
        // Changes its owner could already see are not told again.
        std::lock_guard<std::mutex> lock(mutex_);
        watch.since = changes_;
    });
}

WatchResult PooledRecorder::waitReady(const PoolWatch& watch, std::chrono::milliseconds limit) {
    const int channel = watch.channel;
    if (!validChannel(channel)) return WatchResult::NoSuchChannel;
    ChannelFeed& channelFeed = feed(channel);
    std::unique_lock<std::mutex> lock(mutex_);
    WatchResult result = WatchResult::TimedOut;
    changed_.wait_for(lock, limit, [&] {
        if (stopping_) {
            result = WatchResult::Stopping;
        } else if (failures_ != watch.failuresBefore) {
            result = state_.phase == RecorderPhase::LoginRefused ? WatchResult::LoginRefused : WatchResult::Unreachable;
        } else if (state_.phase == RecorderPhase::LoginRefused && !loginRetryWanted_) {
            result = WatchResult::LoginRefused;
        } else if (cameras_ > 0 && channel >= cameras_) {
            result = WatchResult::NoSuchChannel;
        } else if (state_.phase == RecorderPhase::Streaming && carried_.contains(channel) && channelFeed.ready()) {
            result = WatchResult::Ready;
        } else {
            return false;
        }
        return true;
    });
    // Waited through the recorder's absence: say so rather than blame the pictures.
    if (result == WatchResult::TimedOut && state_.phase == RecorderPhase::Reconnecting) {
        result = WatchResult::Unreachable;
    }
    return result;
}

VideoCodec PooledRecorder::codec(int channel) const {
    return validChannel(channel) ? feeds_[static_cast<size_t>(channel)]->codec() : VideoCodec::None;
}

RecorderState PooledRecorder::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

RecorderStatus PooledRecorder::status() const {
    RecorderStatus status;
    std::array<int, kMaxChannels> watchers{};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status.name = name_;
        status.state = state_;
        status.carried = carried_;
        status.cameras = cameras_;
        status.bytes = bytesBefore_;
        status.reconnects = reconnects_;
        for (const auto& watch : watches_) ++watchers[static_cast<size_t>(watch->channel)];
    }
    for (int c = 0; c < kMaxChannels; ++c) {
        ChannelStatus channel;
        channel.channel = c + 1;
        channel.watchers = watchers[static_cast<size_t>(c)];
        channel.counters = feeds_[static_cast<size_t>(c)]->counters();
        if (channel.watchers > 0 || channel.counters.pictures > 0) status.channels.push_back(channel);
    }
    return status;
}

template <typename Deliver>
void PooledRecorder::deliver(int channel, Deliver&& toFeed) {
    if (!validChannel(channel)) return;
    ChannelFeed& channelFeed = feed(channel);
    const bool wasReady = channelFeed.ready();
    toFeed(channelFeed);
    if (!wasReady && channelFeed.ready()) {
        // Taking the lock orders this after a waiting handle's look at the feed.
        { std::lock_guard<std::mutex> lock(mutex_); }
        changed_.notify_all();
    }
}

void PooledRecorder::packet(const uint8_t* slot, size_t length) {
    const FrameKind kind = frameKindForModel(record_->modelIndex.load());
    const int channel = record_->currentChannel.load();
    deliver(channel, [&](ChannelFeed& channelFeed) { channelFeed.packet(slot, length, kind, monotonicNs()); });
    if (validChannel(channel)) pictures(channel).decodePacket(slot, length, kind, *record_);
}

void PooledRecorder::packet(int channel, const AccessUnit& unit) {
    deliver(channel, [&](ChannelFeed& channelFeed) { channelFeed.accessUnit(unit, monotonicNs()); });
}

void PooledRecorder::picture(int channel, const ChannelPicture& frame) {
    if (validChannel(channel)) pictures(channel).deliver(frame);
}

std::pair<int, int> PooledRecorder::pictureSize(int channel, int width, int height) {
    return validChannel(channel) ? pictures(channel).pictureSize(width, height) : std::pair<int, int>{width, height};
}

bool PooledRecorder::decodes(int channel) { return validChannel(channel) && pictures(channel).wanted(); }

void PooledRecorder::dropped(int channel, uint64_t) {
    // Told once per dropped packet.
    if (validChannel(channel)) feed(channel).countQueueDrops(1);
}

void PooledRecorder::run() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        reports_.run(Clock::now() + kLoopSlice);
        tick();
    }
    std::string reason;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reason = stopReason_;
    }
    if (session_ != nullptr) close(reason);
    changed_.notify_all();
}

void PooledRecorder::adopt(AdoptedConnection connection) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        adoptPending_ = std::move(connection);
        givenBack_ = false;
    }
    reports_.wake();
}

void PooledRecorder::giveBack() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        adoptPending_.reset();
        givenBack_ = true;
    }
    reports_.wake();
}

void PooledRecorder::takeAdoption() {
    std::optional<AdoptedConnection> adopting;
    bool givenBack = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        adopting.swap(adoptPending_);
        givenBack = std::exchange(givenBack_, false);
    }
    if (adopting) {
        // One connection per recorder: the pool's own goes.
        if (session_ != nullptr) close("another window's connection carries its channels");
        adopted_ = std::move(adopting);
        retryAt_.reset();
        codec_ = adopted_->codec;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (adopted_->cameras > 0) cameras_ = adopted_->cameras;
            carried_ = ChannelSet();
        }
        log_("recorder " + name_ + " rides on another window's connection");
        enter(RecorderStep::Connect);
        enter(RecorderStep::VideoFlows);
    } else if (givenBack && adopted_) {
        adopted_.reset();
        for (auto& f : feeds_) f->stop();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            carried_ = ChannelSet();
            // Its handles get a connection of the pool's own.
            connectWanted_ = !watchedLocked().empty();
        }
        log_("recorder " + name_ + " no longer rides on another window's connection");
        enter(RecorderStep::Closed);
    }
}

void PooledRecorder::carryAdopted(const ChannelSet& watched) {
    const ChannelSet next = nextSet(watched);
    if (next == carried_) return;
    const ChannelSet previous = carried_;
    for (int i = 0; i < next.size(); ++i) {
        if (!previous.contains(next.at(i))) {
            feed(next.at(i)).start(codec_);
            pictures(next.at(i)).restart();
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        carried_ = next;
    }
    adopted_->carry(next);
    for (int i = 0; i < previous.size(); ++i) {
        if (!next.contains(previous.at(i))) feed(previous.at(i)).stop();
    }
    log_("recorder " + name_ + " has channels " + next.text() + " carried (was " + previous.text() + ")");
}

void PooledRecorder::tick() {
    takeAdoption();
    ChannelSet watched;
    bool connectWanted = false;
    bool refused = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        watched = watchedLocked();
        refused = state_.phase == RecorderPhase::LoginRefused;
        connectWanted = !watched.empty() && (refused ? loginRetryWanted_ : connectWanted_);
        connectWanted_ = false;
        if (session_ != nullptr) bytesBefore_ += session_->takeReceivedBytes();
    }

    sendCameraControls();
    if (adopted_) {
        carryAdopted(watched);
        return;
    }
    if (session_ == nullptr) {
        // Only a handle that asked opens a connection; handles left over
        // from a failed one only when the recorder tries again by itself. A
        // refused login is tried again at its own pace while handles watch.
        if (refused && !watched.empty() && !connectWanted) connectWanted = loginRetryDue();
        if (watched.empty()) {
            retryAt_.reset();
            retryAttempt_ = 0;
        } else if (connectWanted || (retryAt_ && Clock::now() >= *retryAt_)) {
            connect(watched);
        }
        return;
    }

    if (watched.empty()) {
        const auto now = Clock::now();
        if (!idleSince_) idleSince_ = now;
        if (now - *idleSince_ >= settings_.closeAfter) close("no client for " + durationText(settings_.closeAfter));
        return;
    }
    idleSince_.reset();
    // A set changes only while video flows: before, the login asks for the
    // set the connection was made with, and a reconnect for the last one.
    if (!reports_.videoFlows()) return;
    const ChannelSet next = nextSet(watched);
    if (!(next == carried_)) changeSet(next);
}

void PooledRecorder::onReport(const SessionReport& report) {
    switch (report.kind) {
        case SessionReport::Kind::Described: {
            // After a reconnect the same channels go on where they were.
            for (int channel = 0; channel < kMaxChannels; ++channel) {
                if (!carried_.contains(channel)) {
                    if (!report.again) feed(channel).forgetConfiguration();
                    continue;
                }
                pictures(channel).restart();
                if (report.again) {
                    feed(channel).resume(report.codec);
                } else {
                    feed(channel).start(report.codec);
                }
            }
            described_ = true;
            std::lock_guard<std::mutex> lock(mutex_);
            codec_ = report.codec;
            cameras_ = report.cameras;
            changed_.notify_all();
            break;
        }
        case SessionReport::Kind::VideoFlows: {
            const bool again = state().phase == RecorderPhase::Reconnecting;
            log_("recorder " + name_ + (again ? " reconnected: streams " : " streams ") +
                 channelsText(carried_) + " (" + codecName(codec_) + ")");
            retryAttempt_ = 0;
            enter(RecorderStep::VideoFlows);
            break;
        }
        case SessionReport::Kind::ReconnectScheduled: {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++reconnects_;
            }
            log_("recorder " + name_ + " reconnects in " + secondsText(report.delayMs) + " (attempt " +
                 std::to_string(report.attempt) + "): " + report.cause);
            RecorderState details;
            details.reconnectAt = Clock::now() + std::chrono::milliseconds(report.delayMs);
            details.attempt = report.attempt;
            details.cause = report.cause;
            enter(RecorderStep::ReconnectScheduled, details);
            break;
        }
        case SessionReport::Kind::Failed: fail(report.cause, report.loginRefused); break;
    }
}

ChannelSet PooledRecorder::nextSet(const ChannelSet& watched) {
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

void PooledRecorder::changeSet(const ChannelSet& next) {
    const ChannelSet previous = carried_;
    // Feeds of joining channels take packets before the request goes out;
    // those of leaving channels stop once it went. Pictures start again at
    // a key picture wherever the way a channel is decoded may change.
    for (int i = 0; i < next.size(); ++i) {
        if (!previous.contains(next.at(i))) feed(next.at(i)).rejoin(codec_);
        pictures(next.at(i)).restart();
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
    log_("recorder " + name_ + " streams " + channelsText(next) + " (was " + previous.text() + ")");
}

void PooledRecorder::connect(const ChannelSet& channels) {
    // A new attempt starts from the settings (a DDNS answer, the model and
    // what the recorder reported before are forgotten).
    attemptStamp_ = credentialStamp();
    releaseRecordTexts(*record_);
    initRecord(*record_);
    settings_.fillRecord(*record_);
    record_->currentChannel.store(channels.first());
    idleSince_.reset();
    unwatchedSince_ = {};
    retryAt_.reset();
    described_ = false;
    codec_ = VideoCodec::None;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        carried_ = channels;
        loginRetryWanted_ = false;
    }
    for (int i = 0; i < channels.size(); ++i) pictures(channels.at(i)).restart();
    enter(RecorderStep::Connect);
    log_("recorder " + name_ + " connects to " + settings_.target + " for " + channelsText(channels));
    session_ = std::make_unique<VideoSession>(reports_.owner(), reports_.events());
    // Every picture is passed on, not only key pictures.
    session_->setIFrameOnly(false);
    ReconnectPolicy policy = settings_.reconnect;
    policy.maxDelayMs = std::min<int64_t>(policy.maxDelayMs, settings_.watchedRetryCap.count());
    session_->setReconnect(policy);
    // Packets of every channel; pictures of those a handle shows.
    session_->setChannelEvents(this, true);
    session_->setChannels(channels);
    reports_.begin(*session_);
    if (session_->setUp(record_, *this) != VideoSession::SetUpResult::Started) {
        fail("the connection could not be set up", false);
        return;
    }
    session_->startLink();
}

void PooledRecorder::endSession() {
    if (session_ != nullptr) {
        session_->disconnect([this](int milliseconds) { reports_.waitHandling(milliseconds); });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bytesBefore_ += session_->takeReceivedBytes();
        }
        session_->tearDown();
        session_.reset();
        reports_.end();
    }
    for (auto& f : feeds_) f->stop();
}

void PooledRecorder::close(const std::string& reason) {
    log_("recorder " + name_ + " closed: " + reason);
    endSession();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        carried_ = ChannelSet();
    }
    enter(RecorderStep::Closed);
}

void PooledRecorder::fail(const std::string& cause, bool refused) {
    bool hadWatchers = false;
    std::function<void()> lost;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hadWatchers = !watchedLocked().empty();
        lost = lostHandler_;
    }
    log_("recorder " + name_ +
         (refused ? " refused the login (tried again in " + durationText(settings_.loginRetry) +
                        ", or when its password changes)"
                  : " failed: " + cause));
    endSession();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        carried_ = ChannelSet();
        connectWanted_ = false;
        loginRetryWanted_ = false;
        ++failures_;
        if (refused) {
            refusedAt_ = Clock::now();
            refusedStamp_ = attemptStamp_;
        }
    }
    RecorderState details;
    details.cause = cause;
    details.reached = described_;
    enter(refused ? RecorderStep::LoginRefused : RecorderStep::Failed, details);
    if (!refused && hadWatchers && settings_.retryFailed) scheduleRetry(cause);
    if (hadWatchers && lost) lost();
}

void PooledRecorder::scheduleRetry(const std::string& cause) {
    ++retryAttempt_;
    const int delay = settings_.reconnect.delayMs(retryAttempt_, random_);
    retryAt_ = Clock::now() + std::chrono::milliseconds(delay);
    log_("recorder " + name_ + " tries again in " + secondsText(delay) + " (attempt " +
         std::to_string(retryAttempt_) + ")");
    RecorderState details;
    details.cause = cause;
    details.reached = described_;
    details.reconnectAt = *retryAt_;
    details.attempt = retryAttempt_;
    enter(RecorderStep::RetryScheduled, details);
}

void PooledRecorder::enter(RecorderStep step, const RecorderState& details) {
    RecorderState next;
    bool changed = false;
    uint64_t change = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next = details;
        next.phase = nextPhase(state_.phase, step);
        // What went with a phase that stays is kept (a refusal stays refused).
        if (next.phase == state_.phase && step != RecorderStep::ReconnectScheduled &&
            step != RecorderStep::RetryScheduled) {
            next = state_;
        }
        changed = !(next == state_);
        state_ = next;
        if (changed) change = ++changes_;
        changed_.notify_all();
    }
    if (changed) announce(next, change);
}

void PooledRecorder::announce(const RecorderState& state, uint64_t change) {
    std::vector<std::shared_ptr<PoolWatch>> watches;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        watches = watches_;
    }
    for (const auto& watch : watches) {
        std::lock_guard<std::mutex> call(watch->callMutex);
        if (watch->listening != this || !watch->listener || watch->since >= change) continue;
        // A copy: the listener may replace itself.
        const auto listener = watch->listener;
        watch->calling.store(std::this_thread::get_id());
        listener(state);
        watch->calling.store(std::thread::id());
    }
}

}  // namespace orvix
