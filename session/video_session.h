// One connection of a video window, without any GUI: the RecorderConnection,
// the VideoDecoder, the link thread and the display thread, created at set-up
// (VWM_CONNECT) and freed at tear-down (VWM_TEARDOWN). The Qt video window and
// the command-line client both drive a connection through this class; they
// add the drawing (renderers), the 4-second timer and the events' delivery.
//
// Every member function runs on the owner's thread (the window thread). The
// link thread's reports reach the owner's thread through the OwnerThread
// given at construction, where the session keeps what they say and tells
// the front end through its SessionEvents.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/channel_set.h"
#include "core/device_record.h"
#include "link/channel_queues.h"
#include "link/display_frame.h"
#include "link/info_line.h"
#include "link/link_end.h"
#include "link/link_notifier.h"
#include "link/link_shared.h"
#include "link/link_stop.h"
#include "link/reconnect_policy.h"
#include "media/decode_tap.h"
#include "media/overlay_settings.h"
#include "session/channel_events.h"
#include "session/owner_thread.h"
#include "session/playback_state.h"
#include "session/session_events.h"
#include "session/tap_gate.h"
#include "session/channel_events_fan_out.h"

namespace orvix {

class DecodeWorkers;
class DisplayThread;
class LinkThread;
class PacketSink;
class PacketSinkThread;
class RecorderConnection;
class RendererSwitch;
class VideoDecoder;
struct DecodedPicture;

class VideoSession : private DropListener {
public:
    enum class SetUpResult {
        Started,          // both threads run, the link is ready (state 1)
        FramingRejected,  // the record's framing kind is neither 0 nor 1: nothing made
        Failed,           // an object or buffer could not be had: set-up-failed flag set
    };

    // `owner` carries the link's reports to the owner's thread, where
    // `events` hears of them; both must outlive the session.
    VideoSession(OwnerThread& owner, SessionEvents& events);
    ~VideoSession() override;  // stops what still runs and frees everything
    VideoSession(const VideoSession&) = delete;
    VideoSession& operator=(const VideoSession&) = delete;

    // Set-up: the failed flag cleared, then connection, decoder, zero-filled
    // buffers, socket, state 1, the link thread then the display thread,
    // slotFree signalled once, counters 0. The display thread presents
    // through `renderers`, which must outlive the session's threads.
    // `destination` is the window's rectangle on the screen, kept in the
    // DisplayFrame. A session that is set up is torn down first.
    SetUpResult setUp(DeviceRecord* record, RendererSwitch& renderers, const FrameRect& destination = {});

    // Set-up for a consumer that takes packets, not pictures (the RTSP
    // feed): no decoder is made or opened, and a packet thread hands every
    // packet of the frame ring to `sink` (which must outlive the session's
    // threads) in place of the display thread. Everything else as above.
    // A set of one channel reaches the sink here; a set of several goes
    // through the per-channel queues to the ChannelEvents instead.
    SetUpResult setUp(DeviceRecord* record, PacketSink& sink);

    // The channels shown (1 to 16). A set of one is the single view: the
    // record's current channel, the frame ring and the display thread (or
    // packet thread), exactly as setChannel() with origin 0. A larger set
    // goes to per-channel queues and the decode workers, which report
    // through the ChannelEvents given with setChannelEvents(). Set before
    // setUp() it is asked for at login (a set-up whose decode workers cannot
    // start fails); set while video flows it sends one data request for the
    // whole set. False, keeping the set shown before, for an empty set, a
    // set of several without ChannelEvents to report to, or one whose decode
    // workers cannot start.
    bool setChannels(const ChannelSet& channels);
    const ChannelSet& channels() const { return channels_; }
    // Where a set of several channels reports (pictures, packets, drops);
    // set before setChannels(), and it must outlive the session's threads.
    // With `decode` false the workers hand packets on without decoding.
    void setChannelEvents(ChannelEvents* events, bool decode = true);
    // Packets a shown channel dropped because its queue was full.
    uint64_t droppedPackets(int channel) const;

    // Another front end's channels carried by this connection as well (the
    // recorder pool's, while this recorder is shown in a window of its own
    // too): asked for with this session's channels in one data request
    // while video flows, their pictures and packets handed to `guest`. A
    // single view keeps its path for its own channel. An empty set ends it,
    // and so do every set-up and tear-down, and leaving live video (the
    // record information request, a search): guests ride on live video
    // only. Returns once no call into a guest it let go runs. False
    // without a connection.
    bool setGuestChannels(const ChannelSet& channels, ChannelEvents* guest);
    const ChannelSet& guestChannels() const { return guestChannels_; }

    // VWM_LINK_START: the link thread starts connecting (only when set up).
    // After the link ended by itself it starts afresh, with the end cleared.
    void startLink();

    // Whether and how the link connects again by itself after the
    // connection is lost, and its silence watch. Kept for later set-ups and
    // applied at once to a running link (the next end reads it). What is
    // resumed is the record's current channel and the "I only" option, in
    // live mode: the record and LinkShared keep them across the retries.
    void setReconnect(const ReconnectPolicy& policy);
    const ReconnectPolicy& reconnectPolicy() const { return reconnectPolicy_; }
    // The attempt the link is waiting to make, 0 when none is pending.
    int reconnectPending() const;

    // The command wrappers; each does nothing without a connection and
    // sends only while the status is 9 (see link/command_wrappers.h).
    // While several channels are shown, origin 1 (I-frame-only toggled)
    // asks for the whole set again and origin 0 shows that one channel.
    void setChannel(int channel, int origin);
    // True when the request went out (video was flowing and the sends went).
    // It asks for no channel, as the recorder needs; once the range or its
    // refusal comes, what was shown is asked for again (live video, or the
    // playback from the last shown time; a pause stays paused).
    bool requestRecordInfo();
    // Plays from `startTime` (seconds since 1970): playback phase Playing.
    void startSearch(uint32_t startTime);
    // Back to live video: phase Live.
    void endSearch();

    // Playback like a player (owner's thread). Each acts only while video
    // may be asked for (status 9), as the wrappers do.
    PlaybackPhase playback() const { return playback_; }
    // Playing: the search ends where the pictures are, the last one stays
    // and the info line says "PAUSED".
    void pause();
    // Paused: plays again from the last shown time.
    void resume();
    void togglePause();
    // Playing or paused: plays from the shown time moved by `delta`
    // seconds, kept inside the recorded range once it is known.
    void jump(int64_t delta);
    // The recorded range of the last range answer; empty before one.
    const std::optional<TimeRange>& recordedRange() const { return range_; }
    // The recorder time of the newest picture shown (the time played from,
    // until its first picture comes); empty before any.
    std::optional<uint32_t> shownTime() const;
    // Hands the decoder's tap only the packets of recorder time [from, to)
    // (see TapGate); spanEnded() once a packet at or past `to` came after
    // them. clearSpan() passes everything again.
    void setSpan(uint32_t from, uint32_t to) { tap_.setSpan(from, to); }
    void clearSpan() { tap_.clearSpan(); }
    bool spanEnded() const { return tap_.span() == TapGate::Span::Ended; }
    void ptz(int action, int32_t preset);
    void alarmOn(int output, uint32_t duration);
    void alarmOff();

    // VWM_SOCKET_RESET: closes the socket and creates it again. The link's
    // own request for it is handled by the session.
    void resetSocket();

    // The link part of a disconnect: clears the info line, stops the link
    // thread (waiting through `waitHandlingMessages`, so reports the link
    // thread is sending are still handled; none for an owner whose reports
    // no longer hold the link thread once it stops it), then joins the
    // display thread, which ends once the state is 0. Returns at once when
    // no thread runs (after a failed set-up or a tear-down).
    void disconnect(const WaitHandlingMessages& waitHandlingMessages);

    // Tear-down after a disconnect: state 1, counters 0, decoder closed,
    // buffers and connection freed. Threads still running are stopped first.
    void tearDown();

    // The 4-second timer: frames per second and byte rate from the counters.
    void timerTick() { shared_.updateRates(); }

    bool threadsRunning() const;
    bool setUpFailed() const { return setUpFailed_; }
    int status() const;
    // The status line text (safe at any time on the owner's thread).
    std::string statusLine() const;
    // The info line under it; set by the wrappers, the record replies and
    // the link when the connection ends by itself.
    std::string infoLine() const { return infoLine_.get(); }
    void setInfoLine(std::string text) { infoLine_.set(std::move(text)); }
    // How the link ended by itself, if it did since it was started (the
    // front ends are also told through SessionEvents::linkEnded()).
    LinkEnd linkEnd() const;
    bool linkEnded() const;
    // What the recorder said about itself when it accepted this connection;
    // empty before (and after the tear-down).
    const std::optional<RecorderDescription>& recorder() const { return recorder_; }

    // A connection is set up (from a set-up that made one to the tear-down).
    bool isSetUp() const { return connection_ != nullptr; }
    // Video flows: status 9 while the link talks with the recorder.
    bool streaming() const;
    // The connection plays recorded video (a search), not live video.
    bool playingBack() const;
    // The frame rate and byte rate of the last 4-second timer tick.
    struct Rates {
        uint32_t framesPerSecond = 0;
        uint32_t kilobytesPerSecond = 0;
    };
    Rates rates() const;
    // Bytes received since the last call, for owners that count the traffic
    // themselves and so run no timer (timerTick() uses the same count).
    uint32_t takeReceivedBytes() { return shared_.bytesCounter.exchange(0); }
    // The "I only" option: only key pictures are asked for and shown. Kept
    // across connections; 1 at creation.
    void setIFrameOnly(bool on) { shared_.iframeOnly.store(on ? 1 : 0); }
    bool iframeOnly() const { return shared_.iframeOnly.load() != 0; }

    // The single view's decoder shows each packet it decodes to `tap` (null:
    // none). Once this returns, the tap set before is not called any more.
    // False when no decoder is set up (a packet sink's session, or none).
    bool setDecodeTap(DecodeTap* tap);
    // Calls `use` with the single view's last decoded picture, under the
    // decoder's lock; false when there is none.
    bool withPicture(const std::function<void(const DecodedPicture&)>& use) const;

    OverlaySettings& overlay() { return overlay_; }
    DeviceRecord* record() { return record_; }

    // The parts themselves, for tests and benchmarks; the front ends use the
    // typed accessors above.
    LinkShared& shared() { return shared_; }
    const LinkShared& shared() const { return shared_; }
    RecorderConnection* connection() { return connection_.get(); }
    VideoDecoder* decoder() { return decoder_.get(); }
    const VideoDecoder* decoder() const { return decoder_.get(); }

private:
    class Reports;

    // The step `event` leads to, carried out; `time` for a search.
    void stepPlayback(PlaybackEvent event, uint32_t time = 0);
    // A range answer came (on the owner's thread, before the front end
    // hears of it).
    void rangeAnswered(const std::optional<TimeRange>& range);

    // The common part of both set-ups, up to the threads.
    SetUpResult makeConnection(DeviceRecord* record, bool withDecoder);
    void startThreads();
    // Link thread: a shown channel's queue dropped a packet.
    void dropped(int channel, uint64_t total) override;
    // Starts the queues' workers for a set of several channels, once.
    bool startWorkers();
    // False when a set of several cannot be shown: its workers did not start.
    bool applyChannels(bool request);
    // Leaving live video: the guests go, without a request of their own.
    void dropGuests();
    void stopThreads(const WaitHandlingMessages& waitHandlingMessages);

    OwnerThread& owner_;
    SessionEvents& events_;
    // The link's notifier for the connection set up now (null without one).
    std::shared_ptr<Reports> reports_;
    std::optional<RecorderDescription> recorder_;
    LinkShared shared_;
    ReconnectPolicy reconnectPolicy_;
    OverlaySettings overlay_;
    DeviceRecord* record_ = nullptr;
    bool setUpFailed_ = false;
    InfoLine infoLine_;
    std::unique_ptr<RecorderConnection> connection_;
    std::unique_ptr<VideoDecoder> decoder_;
    TapGate tap_{shared_.shownSeconds};  // the decoder's tap, for as long as the session lives
    PlaybackPhase playback_ = PlaybackPhase::Live;
    bool rangeAsked_ = false;  // a range request is waiting for its answer
    std::optional<TimeRange> range_;
    // The time of the last search start, shown until a picture of another
    // time than the one shown then comes.
    std::optional<uint32_t> searchFrom_;
    int64_t secondsAtSearch_ = -1;
    std::unique_ptr<LinkThread> linkThread_;
    std::unique_ptr<DisplayThread> displayThread_;
    std::unique_ptr<PacketSinkThread> packetThread_;

    // The channel set: kept here for every part that asks for video again
    // (a reconnect resumes it). Empty until setChannels(): the record's
    // current channel alone.
    ChannelSet channels_;
    ChannelEvents* channelEvents_ = nullptr;
    bool decodeChannels_ = true;
    // What the decode workers report to: the owner's events, and a guest's.
    ChannelEventsFanOut fanOut_;
    ChannelSet guestChannels_;
    std::unique_ptr<ChannelQueues> queues_;
    std::unique_ptr<DecodeWorkers> workers_;
};

}  // namespace orvix
