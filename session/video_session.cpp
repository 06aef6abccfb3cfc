#include "session/video_session.h"

#include <new>
#include <utility>

#include "link/channel_queues.h"
#include "link/command_codes.h"
#include "link/command_sender.h"
#include "link/command_wrappers.h"
#include "link/link_status.h"
#include "link/link_thread.h"
#include "link/recorder_connection.h"
#include "media/video_decoder.h"
#include "session/decode_workers.h"
#include "session/display_thread.h"
#include "session/packet_sink_thread.h"
#include "session/link_reports.h"

namespace orvix {

VideoSession::VideoSession(OwnerThread& owner, SessionEvents& events) : owner_(owner), events_(events) {}

VideoSession::~VideoSession() { tearDown(); }

VideoSession::SetUpResult VideoSession::setUp(DeviceRecord* record, RendererSwitch& renderers,
                                               const FrameRect& destination) {
    const SetUpResult made = makeConnection(record, true);
    if (made != SetUpResult::Started) return made;
    connection_->display.destinationRect = destination;
    displayThread_ = std::make_unique<DisplayThread>(*connection_, *decoder_, renderers, overlay_);
    startThreads();
    return SetUpResult::Started;
}

VideoSession::SetUpResult VideoSession::setUp(DeviceRecord* record, PacketSink& sink) {
    const SetUpResult made = makeConnection(record, false);
    if (made != SetUpResult::Started) return made;
    packetThread_ = std::make_unique<PacketSinkThread>(*connection_, sink);
    startThreads();
    return SetUpResult::Started;
}

VideoSession::SetUpResult VideoSession::makeConnection(DeviceRecord* record, bool withDecoder) {
    if (connection_ != nullptr) tearDown();
    // Guests belong to one connection.
    setGuestChannels(ChannelSet(), nullptr);
    // Each set-up reports its own outcome.
    setUpFailed_ = false;
    record_ = record;
    recorder_.reset();
    // A new connection starts live, with no range known yet.
    playback_ = PlaybackPhase::Live;
    rangeAsked_ = false;
    range_.reset();
    shared_.shownSeconds.store(-1);
    searchFrom_.reset();
    tap_.clearSpan();
    // Only the two framings are known; anything else starts nothing.
    if (record == nullptr || static_cast<uint32_t>(record->framingKind.load()) > 1) {
        return SetUpResult::FramingRejected;
    }

    connection_.reset(new (std::nothrow) RecorderConnection());
    if (connection_ != nullptr && withDecoder) decoder_.reset(new (std::nothrow) VideoDecoder());
    if (connection_ == nullptr || (withDecoder && decoder_ == nullptr) || !connection_->allocateBuffers()) {
        setUpFailed_ = true;
        return SetUpResult::Failed;
    }

    RecorderConnection& c = *connection_;
    if (decoder_ != nullptr) {
        decoder_->attachFrame(&c.display);
        decoder_->setTap(&tap_);
    }
    c.shared = &shared_;
    reports_ = std::make_shared<Reports>(*this);
    c.notifier = reports_.get();
    c.decoder = decoder_.get();
    c.record = record;
    c.infoLine = &infoLine_;
    c.reconnect.set(reconnectPolicy_);
    c.resync = 1;
    // A copy: the record's name may be rewritten while the display thread
    // draws it.
    c.display.name.assign(record->name.view());
    c.mode.store(0);
    c.display.mode.store(c.mode.load());

    queues_.reset(new (std::nothrow) ChannelQueues());
    if (queues_ == nullptr) {
        setUpFailed_ = true;
        return SetUpResult::Failed;
    }
    queues_->setDropListener(this);
    c.channelHandOver = queues_.get();
    if (!applyChannels(false)) {
        setUpFailed_ = true;
        return SetUpResult::Failed;
    }

    c.socket.create();
    shared_.threadState.store(kLinkReady);
    return SetUpResult::Started;
}

void VideoSession::startThreads() {
    linkThread_ = std::make_unique<LinkThread>(*connection_);
    linkThread_->start();
    if (displayThread_ != nullptr) displayThread_->start();
    if (packetThread_ != nullptr) packetThread_->start();
    connection_->ring.signalSlotFree();
    shared_.resetCounters();
}

void VideoSession::startLink() {
    if (!threadsRunning()) return;
    // The link idles in state 1 after an end; the new run may end again.
    connection_->end.clear();
    shared_.threadState.store(kLinkConnect);
}

void VideoSession::setReconnect(const ReconnectPolicy& policy) {
    reconnectPolicy_ = policy;
    if (connection_ != nullptr) connection_->reconnect.set(policy);
}

int VideoSession::reconnectPending() const {
    return connection_ != nullptr ? connection_->reconnectAttempt.load() : 0;
}

void VideoSession::setChannelEvents(ChannelEvents* events, bool decode) {
    channelEvents_ = events;
    decodeChannels_ = decode;
    fanOut_.setOwner(events);
}

bool VideoSession::setGuestChannels(const ChannelSet& channels, ChannelEvents* guest) {
    const ChannelSet wanted = guest != nullptr ? channels : ChannelSet();
    if (connection_ == nullptr) {
        guestChannels_ = ChannelSet();
        fanOut_.setGuest(nullptr, ChannelSet());
        return wanted.empty();
    }
    if (wanted == guestChannels_) {
        fanOut_.setGuest(guest, wanted);
        return true;
    }
    // Joining channels reach the guest from their first packet; those that
    // leave stop before the request that drops them.
    guestChannels_ = wanted;
    fanOut_.setGuest(guest, wanted);
    applyChannels(true);
    return true;
}

bool VideoSession::setChannels(const ChannelSet& channels) {
    if (channels.empty() || (channels.size() > 1 && channelEvents_ == nullptr)) return false;
    const ChannelSet previous = channels_;
    channels_ = channels;
    if (applyChannels(true)) return true;
    // Nothing changed: the set shown before stays.
    channels_ = previous;
    return false;
}

bool VideoSession::applyChannels(bool request) {
    if (connection_ == nullptr || record_ == nullptr) return true;
    // No set chosen is the record's current channel alone.
    if (channels_.empty() && !guestChannels_.empty()) channels_ = ChannelSet::single(record_->currentChannel.load());
    if (channels_.empty()) return true;
    RecorderConnection& c = *connection_;
    ChannelSet all = channels_;
    for (int i = 0; i < guestChannels_.size(); ++i) {
        if (!all.contains(guestChannels_.at(i))) all.add(guestChannels_.at(i));
    }
    const bool single = channels_.size() == 1;
    fanOut_.setOwned(single ? ChannelSet() : channels_);
    if (single && guestChannels_.empty()) {
        // The single view: what choosing the channel does.
        c.ringChannel.store(-1);
        c.showChannels(0);
        record_->currentChannel.store(channels_.first());
        if (queues_ != nullptr) queues_->keepOnly(0);
        if (request) requestData(&c, channels_.first(), 0);
        return true;
    }
    if (!startWorkers()) return false;
    // The mask goes first: the request's bytes and the filter read it. A
    // single view with guests keeps its channel on the frame ring, and in
    // the set only when a guest watches it too.
    const int first = channels_.first();
    const uint32_t shown =
        single && !guestChannels_.contains(first) ? all.mask() & ~(1u << first) : static_cast<uint32_t>(all.mask());
    queues_->keepOnly(shown);
    c.ringChannel.store(single ? first : -1);
    c.showChannels(shown);
    record_->currentChannel.store(channels_.first());
    if (request) requestData(&c, kShownChannels, 0);
    return true;
}

bool VideoSession::startWorkers() {
    if (workers_ != nullptr) return true;
    if (queues_ == nullptr || (channelEvents_ == nullptr && guestChannels_.empty()) || record_ == nullptr) return false;
    workers_.reset(new (std::nothrow) DecodeWorkers(*queues_, *record_, shared_, fanOut_, decodeChannels_));
    if (workers_ != nullptr && workers_->start()) return true;
    workers_.reset();
    return false;
}

void VideoSession::dropped(int channel, uint64_t total) {
    if (channelEvents_ != nullptr) channelEvents_->dropped(channel, total);
}

uint64_t VideoSession::droppedPackets(int channel) const { return queues_ != nullptr ? queues_->dropped(channel) : 0; }

void VideoSession::setChannel(int channel, int origin) {
    RecorderConnection* c = connection_.get();
    if (c != nullptr && c->shownChannels.load() != 0) {
        // Showing several channels: the I-frame-only toggle asks for the
        // whole set again; choosing one channel leaves the set for it.
        if (origin == 1) {
            requestData(c, kShownChannels, origin);
            return;
        }
        if (channel >= 0 && channel < kMaxChannels && !guestChannels_.empty()) {
            // The guests' channels stay: the single view goes on with them.
            channels_ = ChannelSet::single(channel);
            applyChannels(true);
            return;
        }
        if (channel >= 0 && channel < kMaxChannels) {
            channels_ = ChannelSet::single(channel);
            c->showChannels(0);
            if (queues_ != nullptr) queues_->keepOnly(0);
        }
    }
    requestData(c, channel, origin);
}

void VideoSession::dropGuests() {
    if (guestChannels_.empty()) return;
    guestChannels_ = ChannelSet();
    fanOut_.setGuest(nullptr, ChannelSet());
    applyChannels(false);
}

bool VideoSession::requestRecordInfo() {
    dropGuests();
    const char* text = ::orvix::requestRecordInfo(connection_.get());
    if (text == nullptr) return false;
    rangeAsked_ = true;
    infoLine_.set(text);
    return true;
}

void VideoSession::rangeAnswered(const std::optional<TimeRange>& range) {
    if (range) range_ = range;
    if (!std::exchange(rangeAsked_, false)) return;
    stepPlayback(PlaybackEvent::RangeAnswered, shownTime().value_or(0));
}

void VideoSession::startSearch(uint32_t startTime) { stepPlayback(PlaybackEvent::Play, startTime); }

void VideoSession::endSearch() { stepPlayback(PlaybackEvent::GoLive); }

void VideoSession::pause() { stepPlayback(PlaybackEvent::Pause); }

void VideoSession::resume() { stepPlayback(PlaybackEvent::Resume, shownTime().value_or(0)); }

void VideoSession::togglePause() {
    if (playback_ == PlaybackPhase::Playing) {
        pause();
    } else {
        resume();
    }
}

void VideoSession::jump(int64_t delta) {
    if (playback_ == PlaybackPhase::Live) return;
    const TimeRange range = range_.value_or(TimeRange{});
    startSearch(jumpTarget(shownTime().value_or(range.start), delta, range.start, range.end));
}

std::optional<uint32_t> VideoSession::shownTime() const {
    const int64_t seconds = shared_.shownSeconds.load();
    if (searchFrom_ && seconds == secondsAtSearch_) return searchFrom_;
    if (seconds < 0 || seconds > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(seconds);
}

void VideoSession::stepPlayback(PlaybackEvent event, uint32_t time) {
    const PlaybackStep step = nextPlayback(playback_, event);
    RecorderConnection* c = connection_.get();
    const char* text = nullptr;
    switch (step.action) {
    case PlaybackAction::None:
        break;
    case PlaybackAction::Search:
        // Playback leaves live video: the guests' channels go.
        dropGuests();
        text = ::orvix::startSearch(c, time);
        // Without video flowing nothing was asked: the phase stays.
        if (c == nullptr || c->mode.load() != 1 || !streaming()) {
            if (text != nullptr) infoLine_.set(text);
            return;
        }
        // A jump counts from here until a picture of another time is shown.
        searchFrom_ = time;
        secondsAtSearch_ = shared_.shownSeconds.load();
        break;
    case PlaybackAction::EndSearch:
        text = ::orvix::endSearch(c);
        searchFrom_.reset();
        break;
    case PlaybackAction::Halt:
        text = haltSearch(c);
        if (text == nullptr) return;  // nothing sent: still playing
        break;
    case PlaybackAction::AskVideo:
        if (c != nullptr) requestData(c, shownChannelArgument(*c), 0);
        break;
    }
    playback_ = step.phase;
    if (text != nullptr) infoLine_.set(text);
}

void VideoSession::ptz(int action, int32_t preset) { requestPtz(connection_.get(), action, preset); }

void VideoSession::alarmOn(int output, uint32_t duration) { switchAlarmOn(connection_.get(), output, duration); }

void VideoSession::alarmOff() { switchAlarmOff(connection_.get()); }

void VideoSession::resetSocket() {
    if (connection_ == nullptr) return;
    // No command is being sent meanwhile.
    std::lock_guard<std::mutex> lock(connection_->sendLock);
    connection_->socket.close();
    connection_->socket.create();
}

void VideoSession::disconnect(const WaitHandlingMessages& waitHandlingMessages) {
    infoLine_.clear();
    stopThreads(waitHandlingMessages);
}

void VideoSession::stopThreads(const WaitHandlingMessages& waitHandlingMessages) {
    // Without a running link thread stopLink only writes state 0.
    stopLink(shared_, connection_.get(), linkThread_.get(), waitHandlingMessages);
    // The display (or packet) thread ends on state 0 within one 500 ms wait.
    if (displayThread_ != nullptr) displayThread_->join();
    if (packetThread_ != nullptr) packetThread_->join();
    // The link thread has ended: nothing is pushed to the queues any more.
    if (workers_ != nullptr) workers_->stop();
    linkThread_.reset();
    displayThread_.reset();
    packetThread_.reset();
    workers_.reset();
}

void VideoSession::tearDown() {
    if (threadsRunning()) stopThreads(nullptr);
    linkThread_.reset();
    displayThread_.reset();
    packetThread_.reset();
    workers_.reset();
    shared_.threadState.store(kLinkReady);
    shared_.resetCounters();
    if (connection_ != nullptr) connection_->releaseBuffers();
    if (decoder_ != nullptr) decoder_->close();
    decoder_.reset();
    if (connection_ != nullptr) connection_->ring.release();
    connection_.reset();
    guestChannels_ = ChannelSet();
    fanOut_.setGuest(nullptr, ChannelSet());
    queues_.reset();
    // A tap is for one connection's decoder.
    tap_.set(nullptr);
    // Reports of this connection not handled yet are not wanted any more.
    reports_.reset();
    recorder_.reset();
}

bool VideoSession::playingBack() const { return connection_ != nullptr && connection_->mode.load() != 0; }

bool VideoSession::threadsRunning() const {
    return (linkThread_ != nullptr && linkThread_->joinable()) ||
           (displayThread_ != nullptr && displayThread_->joinable()) ||
           (packetThread_ != nullptr && packetThread_->joinable());
}

bool VideoSession::streaming() const {
    return status() == kStatusDataSendOk && shared_.threadState.load() == kLinkRecorderExchange;
}

VideoSession::Rates VideoSession::rates() const {
    return Rates{shared_.framesPerSecond.load(), shared_.kilobytesPerSecond.load()};
}

bool VideoSession::setDecodeTap(DecodeTap* tap) {
    if (decoder_ == nullptr && tap != nullptr) return false;
    tap_.set(tap);
    return true;
}

bool VideoSession::withPicture(const std::function<void(const DecodedPicture&)>& use) const {
    if (decoder_ == nullptr) return false;
    bool had = false;
    decoder_->withPicture([&](const DecodedPicture& picture) {
        had = true;
        use(picture);
    });
    return had;
}

int VideoSession::status() const { return connection_ != nullptr ? connection_->status.load() : 0; }

std::string VideoSession::statusLine() const { return formatStatusLine(connection_.get()); }

LinkEnd VideoSession::linkEnd() const { return connection_ != nullptr ? connection_->end.get() : LinkEnd{}; }

bool VideoSession::linkEnded() const { return connection_ != nullptr && connection_->end.ended(); }

}  // namespace orvix
