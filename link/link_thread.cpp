#include "link/link_thread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/debug_log.h"
#include "core/text_codec.h"
#include "link/capabilities.h"
#include "link/command_codes.h"
#include "link/command_sender.h"
#include "link/device_description.h"
#include "link/host_lookup.h"
#include "link/link_status.h"
#include "link/recorder_connection.h"
#include "link/wire_format.h"

namespace orvix {
namespace {

using Clock = std::chrono::steady_clock;

void sleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// Who is at the other end in each exchange state, for the info line.
const char* peerName(int state) { return state == kLinkDdnsExchange ? "the DDNS server" : "the recorder"; }

// A DDNS answer names a recorder only with a port and a unicast address:
// 0.0.0.0 would reach this machine, 255.255.255.255 and 224.0.0.0/4 no
// recorder at all.
bool usableDdnsAnswer(const uint8_t* address, uint16_t port) {
    const bool zero = address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0;
    const bool broadcast = address[0] == 255 && address[1] == 255 && address[2] == 255 && address[3] == 255;
    const bool multicast = (address[0] & 0xF0) == 0xE0;
    return port != 0 && !zero && !broadcast && !multicast;
}

// Milliseconds as seconds for the texts: "10", "0.5".
std::string secondsText(int milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", milliseconds / 1000.0);
    return text;
}

bool startsWithLetter(const std::string& text) {
    if (text.empty()) return false;
    const char first = text[0];
    return (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
}

}  // namespace

LinkThread::LinkThread(RecorderConnection& connection) : c_(connection), random_(std::random_device{}()) {}

LinkThread::~LinkThread() {
    if (!thread_.joinable()) return;
    if (c_.shared != nullptr) c_.shared->threadState.store(kLinkStopRequested);
    thread_.join();
}

bool LinkThread::start() {
    if (thread_.joinable() || c_.shared == nullptr || c_.record == nullptr || !c_.buffersReady()) return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void LinkThread::join() {
    if (thread_.joinable()) thread_.join();
}

void LinkThread::run() {
    c_.linkThreadId.store(std::this_thread::get_id());
    std::atomic<int>& state = c_.shared->threadState;
    for (;;) {
        const int current = state.load();
        switch (current) {
        case kLinkStopped:
            return;
        case kLinkReady:
            sleepMs(kIdleWaitMs);
            debugLog("eDEV_THREAD_READY \r\n");
            break;
        case kLinkConnect:
            connectPass();
            break;
        case kLinkDdnsExchange:
        case kLinkRecorderExchange:
            exchangePass(current);
            break;
        case kLinkReconnect:
            reconnectPass();
            break;
        case kLinkReconnectWait:
            reconnectWaitPass();
            break;
        case kLinkStopRequested:
            state.store(kLinkStopped);
            return;
        default:
            // Unused states do nothing; pause so the loop does not spin.
            sleepMs(kIdleWaitMs);
            break;
        }
    }
}

void LinkThread::connectPass() {
    // The user's own connect: the retries start afresh.
    if (phase_ != LinkPhase::RetryDue) attempt_ = 0;
    c_.reconnectAttempt.store(0);
    policy_ = c_.reconnect.get();
    DeviceRecord& record = *c_.record;
    if (record.useStatic != 0) {
        connectToRecorder();
        moveTo(kLinkRecorderExchange);
        return;
    }
    // Through the DDNS server: a name is looked up first, anything else
    // (a dotted address) is used as it is.
    const std::string server = toNarrow(record.ddnsServer.view());
    std::u16string host(record.ddnsServer.view());
    if (startsWithLetter(server)) {
        const auto address = lookupHost(server);
        if (!address) {
            // Stay in the connect state and try again on the next pass; the
            // pause keeps a failing look-up from running at full speed.
            sleepMs(kIdleWaitMs);
            return;
        }
        host = fromUtf8(formatDottedAddress(*address));
    }
    advance(LinkEvent::DdnsConnect);
    setStatus(kStatusDdnsConnReq);
    connectTo(host, record.ddnsPort, true);
    moveTo(kLinkDdnsExchange);
}

void LinkThread::exchangePass(int state) {
    if (c_.commandCut.load()) {
        endLink(LinkEndCause::SendFailed, "Connection lost: a command could not be sent");
        return;
    }
    TcpSocket& socket = c_.socket;
    switch (socket.connectState()) {
    case TcpSocket::ConnectState::InProgress:
        awaitConnect();
        return;
    case TcpSocket::ConnectState::Failed:
        connectFailed();
        return;
    case TcpSocket::ConnectState::Idle:
        // No connect was started on this socket: nothing to read.
        sleepMs(kIdleWaitMs);
        return;
    case TcpSocket::ConnectState::Connected:
        break;
    }
    if (answerOverdue()) return;
    if (state == kLinkRecorderExchange && videoFlows(phase_) && c_.status.load() == kStatusDataSendOk &&
        checkSilence())
        return;

    const int waiting = socket.bytesWaiting();
    if (waiting < 0) {
        // The query failed (the socket is closed): wait here instead of
        // asking again at once.
        socket.waitReadable(kIdleWaitMs);
        return;
    }
    // Wait for bytes instead of sleeping, so they are read as they come. The
    // peer's close and a reset make the socket readable too; the receive
    // then reports them.
    if (waiting == 0 && socket.waitReadable(kIdleWaitMs) != TcpSocket::WaitResult::Readable) return;

    const int received = socket.receive(c_.receiveBuffer.get(), kReceiveBufferSize);
    if (received <= 0 && c_.commandCut.load()) {
        // The cut command shut the socket down; that is the cause, not the peer.
        endLink(LinkEndCause::SendFailed, "Connection lost: a command could not be sent");
        return;
    }
    if (received == 0) {
        debugLog(" pNet->Close(); \r\n");
        endLink(LinkEndCause::PeerClosed, std::string("Connection closed by ") + peerName(state));
        return;
    }
    if (received < 0) {
        const int error = socket.lastError();
        if (error != TcpSocket::kWouldBlock) {
            debugLog("SOCKET_ERROR \r\n");
            if (error == ECONNRESET) {
                endLink(LinkEndCause::Reset, std::string("Connection reset by ") + peerName(state));
            } else {
                endLink(LinkEndCause::ReceiveError,
                        std::string("Receive error from ") + peerName(state) + ": " + std::strerror(error));
            }
        }
        sleepMs(kWouldBlockPauseMs);
        return;
    }
    c_.shared->bytesCounter.fetch_add(static_cast<uint32_t>(received));
    const Clock::time_point parseStart = Clock::now();
    if (state == kLinkDdnsExchange) {
        parseDdnsStream(c_, c_.receiveBuffer.get(), static_cast<size_t>(received), *this);
    } else {
        parseRecorderStream(c_, c_.receiveBuffer.get(), static_cast<size_t>(received), *this);
    }
    busySince(parseStart);
    // An end found in the chunk leaves the rest of it unused.
    if (c_.end.ended()) resetStreamParser(c_);
}

void LinkThread::awaitConnect() {
    const TcpSocket::ConnectState result = c_.socket.waitConnected(kIdleWaitMs);
    // The answer's time starts once connected; the connect has its own.
    if (result == TcpSocket::ConnectState::Connected)
        answerDue_ = Clock::now() + std::chrono::milliseconds(policy_.answerMs);
    if (result == TcpSocket::ConnectState::Failed) {
        connectFailed();
    } else if (result == TcpSocket::ConnectState::InProgress && Clock::now() >= connectDeadline_) {
        endLink(LinkEndCause::ConnectTimeout, "No answer from " + connectTarget_);
    }
}

bool LinkThread::answerOverdue() {
    const char* answer = awaitedAnswer(phase_);
    if (answer == nullptr || Clock::now() < answerDue_) return false;
    endLink(LinkEndCause::NoAnswer, std::string("No ") + answer + " answer from " + connectTarget_ + " in " +
                                        secondsText(policy_.answerMs) + " s");
    return true;
}

void LinkThread::connectFailed() {
    const int error = c_.socket.lastError();
    switch (error) {
    case ECONNREFUSED:
        endLink(LinkEndCause::ConnectRefused, "Connection refused by " + connectTarget_);
        return;
    case ETIMEDOUT:
        endLink(LinkEndCause::ConnectTimeout, "No answer from " + connectTarget_);
        return;
    case TcpSocket::kInvalidArgument:
        // The host look-up failed.
        endLink(LinkEndCause::ConnectFailed, "Address not found: " + connectHost_);
        return;
    default:
        endLink(LinkEndCause::ConnectFailed, "Cannot connect to " + connectTarget_ + ": " + std::strerror(error));
        return;
    }
}

void LinkThread::endLink(LinkEndCause cause, const std::string& text) {
    // A stop under way is the user's own end, not a failure.
    const int state = c_.shared->threadState.load();
    if (state == kLinkStopRequested || state == kLinkStopped) return;
    if (!c_.end.set(LinkEnd{cause, text})) return;
    debugLogf("Link ended (%s): %s\r\n", linkEndCauseName(cause), text.c_str());
    {
        // Sends from the window thread hold the lock: none is under way on
        // the descriptor while it closes.
        std::lock_guard<std::mutex> lock(c_.sendLock);
        c_.socket.close();
    }
    c_.commandCut.store(false);
    if (c_.infoLine != nullptr) c_.infoLine->set(text);
    if (scheduleReconnect()) return;
    const LinkPhase endedIn = phase_;
    advance(LinkEvent::Ended);
    moveTo(kLinkReady);
    if (endedIn == LinkPhase::RetryRefused) {
        // A retry was refused its login: that stays on the status line; the
        // recorder closing afterwards is no news worth a box.
        if (c_.infoLine != nullptr) c_.infoLine->set("Reconnect stopped: the recorder refused the login");
        c_.report().statusChanged();
        c_.report().linkEnded(c_.end.get());
        return;
    }
    const bool lost = isConnectionLoss(cause);
    // Status 0 (or 3) also stops the command wrappers, which act only at 9.
    setStatus(lost ? kStatusDisconnect : kStatusConnectFail);
    if (lost) c_.report().networkError();
    c_.report().linkEnded(c_.end.get());
}

bool LinkThread::scheduleReconnect() {
    // The user may have ticked the box off (or on) while connected.
    const ReconnectPolicy policy = c_.reconnect.get();
    if (!policy.enabled || !endIsRetried(phase_, attempt_ > 0)) return false;
    if (policy.maxAttempts > 0 && attempt_ >= policy.maxAttempts) return false;
    ++attempt_;
    advance(LinkEvent::Lost);
    const int delay = policy.delayMs(attempt_, random_);
    const LinkEnd end = c_.end.get();
    // The loss that began the retries is what the user wants named.
    if (attempt_ == 1) reconnectedText_ = "Reconnected after: " + end.text;
    reconnectAt_ = Clock::now() + std::chrono::milliseconds(delay);
    shownSecondsLeft_ = 0;
    c_.reconnectDueMs.store(
        std::chrono::duration_cast<std::chrono::milliseconds>(reconnectAt_.time_since_epoch()).count());
    c_.reconnectAttempt.store(attempt_);
    if (!moveTo(kLinkReconnectWait)) return true;  // a stop came meanwhile
    debugLogf("Reconnect %d in %d ms\r\n", attempt_, delay);
    // Status 0 stops the command wrappers; the status line shows the plan.
    setStatus(kStatusDisconnect);
    c_.report().reconnectScheduled(end, delay, attempt_);
    return true;
}

void LinkThread::reconnectWaitPass() {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(reconnectAt_ - Clock::now()).count();
    if (left > 0) {
        // The countdown on the status line moves once a second.
        const int64_t seconds = reconnectSecondsShown(left);
        if (seconds != shownSecondsLeft_) {
            shownSecondsLeft_ = seconds;
            c_.report().statusChanged();
        }
        sleepMs(static_cast<int>(std::min<int64_t>(left, kIdleWaitMs)));
        return;
    }
    // A new stream begins: nothing half-assembled from the last one runs
    // into it, and the picture starts again at a key frame.
    resetStreamParser(c_);
    c_.resync = 1;
    // A playback cannot be resumed where it was: the recorder comes back live.
    if (c_.mode.load() == 1) {
        c_.mode.store(0);
        c_.display.mode.store(0);
        reconnectedText_ = "Reconnected: playback ended, live video resumed";
    }
    c_.end.clear();
    advance(LinkEvent::RetryTime);
    moveTo(kLinkConnect);
}

bool LinkThread::checkSilence() {
    const auto now = Clock::now();
    if (now - lastByte_ >= std::chrono::milliseconds(policy_.stallMs)) {
        endLink(LinkEndCause::Stalled,
                "No data from the recorder for " + std::to_string(policy_.stallMs / 1000) + " s");
        return true;
    }
    // A stream this side stopped is not missing: its time starts once it
    // is asked for again.
    if (c_.videoStopped.load()) {
        lastVideo_ = now;
        return false;
    }
    if (phase_ == LinkPhase::Streaming && now - lastVideo_ >= std::chrono::milliseconds(policy_.videoSilenceMs)) {
        advance(LinkEvent::VideoSilent);
        char text[64];
        std::snprintf(text, sizeof text, "No video from CH %.2d for %d s", c_.record->currentChannel.load() + 1,
                      policy_.videoSilenceMs / 1000);
        videoSilenceText_ = text;
        if (c_.infoLine != nullptr) c_.infoLine->set(videoSilenceText_);
        c_.report().statusChanged();
    }
    return false;
}

void LinkThread::reconnectPass() {
    sleepMs(kIdleWaitMs);
    c_.report().socketResetWanted();
    sleepMs(kIdleWaitMs);
    // A new stream begins: nothing half-assembled from the DDNS server may
    // run into the recorder's first packet.
    resetStreamParser(c_);
    connectToRecorder();
    moveTo(kLinkRecorderExchange);
    sleepMs(kIdleWaitMs);
}

void LinkThread::connectToRecorder() {
    // Through DDNS the recorder is where the server's answer says.
    const DeviceRecord& record = *c_.record;
    const bool direct = record.useStatic != 0;
    const std::u16string address = direct ? std::u16string(record.address.view()) : c_.ddnsAddress;
    const uint16_t port = direct ? record.port : c_.ddnsPort;
    c_.statusAddress.set(toUtf8(address), port);
    advance(LinkEvent::RecorderConnect);
    setStatus(kStatusConnectReq);
    lastByte_ = Clock::now();
    connectTo(address, port, false);
}

void LinkThread::connectTo(std::u16string_view host, int port, bool ddnsServer) {
    if (!c_.socket.isOpen()) {
        // An earlier end closed the socket; this start needs a new one.
        std::lock_guard<std::mutex> lock(c_.sendLock);
        c_.socket.create();
    }
    const std::u16string text(host);
    connectHost_ = toUtf8(text);
    connectTarget_ = (ddnsServer ? "the DDNS server " : "") + connectHost_ + ":" + std::to_string(port);
    connectDeadline_ = Clock::now() + std::chrono::milliseconds(c_.connectTimeoutMs);
    sendCommand(c_, COMMAND_CONNECT_REQ, reinterpret_cast<uintptr_t>(text.c_str()), port);
}

void LinkThread::onCommand(uint32_t code, const uint8_t* payload, size_t length) {
    // Once the link has ended, the rest of the chunk is not acted on.
    if (c_.end.ended()) return;
    // The first words at a recorder's address say whether a recorder is
    // there; a DDNS server there is followed once, then the link stops.
    const bool ddnsCommand = code == COMMAND_DDNS_READY || code == COMMAND_DDNS_INFO;
    advance(ddnsCommand ? LinkEvent::DdnsWords : LinkEvent::RecorderWords);
    if (phase_ == LinkPhase::DdnsLoop) {
        endLink(LinkEndCause::DdnsLoop, "DDNS loop: " + connectTarget_ + " is a DDNS server, not a recorder");
        return;
    }
    // Only a DDNS server's answer may send the link elsewhere.
    if (ddnsCommand && heardAsRecorder(phase_)) {
        debugLogf("Ignored %s from the recorder\r\n",
                  code == COMMAND_DDNS_READY ? "COMMAND_DDNS_READY" : "COMMAND_DDNS_INFO");
        return;
    }
    switch (code) {
    case COMMAND_CONNECT_OK:
        handleConnectOk(payload, length);
        break;
    case COMMAND_LOGIN_OK:
        handleLoginOk(payload, length);
        break;
    case COMMAND_LOGIN_FAIL:
        // Trying the same account again could lock it: never retried.
        advance(LinkEvent::LoginRefused);
        setStatus(kStatusLoginFail);
        break;
    case COMMAND_DATA_SEND_OK:
        if (atRecorderAddress(phase_)) videoFlowing();
        setStatus(kStatusDataSendOk);
        debugLog("COMMAND_DATA_SEND_OK \r\n");
        break;
    case COMMAND_ECHO_REQ:
        sendCommand(c_, COMMAND_ECHO_ACK);
        debugLog("Echo req \r\n");
        break;
    case COMMAND_RECORD_INFO:
    case COMMAND_SEARCH_INFO:
        handleTimeRange(code, payload);
        break;
    case COMMAND_SEARCH_INFO_FAIL:
        c_.report().rangeRefused(RangeKind::Search, std::nullopt);
        setStatus(kStatusSearchInfoFail);
        break;
    case COMMAND_DATA_RESEND:
        sendCommand(c_, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(shownChannelArgument(c_)), 0);
        break;
    case COMMAND_DDNS_READY:
        setStatus(kStatusDataSendOk);
        sendCommand(c_, COMMAND_DDNS_INFO_REQ);
        break;
    case COMMAND_DDNS_INFO:
        handleDdnsInfo(payload, length);
        break;
    default:
        break;
    }
}

void LinkThread::handleConnectOk(const uint8_t* payload, size_t length) {
    debugLog("COMMAND_CONNECT_OK \r\n");
    setStatus(kStatusConnectOk);
    DeviceRecord& record = *c_.record;
    if (!storeDeviceDescription(record, payload, length)) {
        advance(LinkEvent::ConnectHeld);
        return;
    }
    // Every description that came in either framing is accepted.
    const int32_t framing = record.framingKind.load();
    if (framing != static_cast<int32_t>(FramingKind::Wide) && framing != static_cast<int32_t>(FramingKind::Plain)) {
        advance(LinkEvent::ConnectHeld);
        setStatus(kStatusModelMismatch);
        return;
    }
    setStatus(kStatusLoginReq);
    c_.report().connected(describeRecorder(record));
    // No login goes out for a model of neither class: then no answer is due.
    advance(sendCommand(c_, COMMAND_LOGIN_REQ) == 0 ? LinkEvent::ConnectHeld : LinkEvent::ConnectAnswered);
    if (c_.decoder != nullptr) c_.decoder->openDecoder(720, 576, record);
}

void LinkThread::handleLoginOk(const uint8_t* payload, size_t length) {
    debugLog("COMMAND_LOGIN_OK \r\n");
    setStatus(kStatusLoginOk);
    storeCapabilities(*c_.record, payload, length);
    setStatus(kStatusDataSendReq);
    sendCommand(c_, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(shownChannelArgument(c_)), 0);
    advance(LinkEvent::LoginAnswered);
}

void LinkThread::handleTimeRange(uint32_t code, const uint8_t* payload) {
    const TimeRange range{readLe32(payload), readLe32(payload + 4)};
    const RangeKind kind = code == COMMAND_RECORD_INFO ? RangeKind::Record : RangeKind::Search;
    if (range.start != 0 && range.end != 0 && range.start != range.end) {
        c_.report().rangeKnown(kind, range);
    } else {
        c_.report().rangeRefused(kind, range);
    }
}

void LinkThread::handleDdnsInfo(const uint8_t* payload, size_t length) {
    // A reply too short to hold the address and the port is ignored.
    if (length < 8) return;
    setStatus(kStatusDdnsInfoOk);
    const auto port = static_cast<uint16_t>(readLe32(payload + 4) & 0xFFFF);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", payload[0], payload[1], payload[2], payload[3]);
    if (!usableDdnsAnswer(payload, port)) {
        endLink(LinkEndCause::DdnsRefusedAnswer,
                std::string("DDNS answer refused: ") + text + ":" + std::to_string(port) + " is no recorder address");
        return;
    }
    c_.ddnsPort = port;
    c_.ddnsAddress = fromUtf8(text);
    advance(LinkEvent::DdnsAnswer);
    moveTo(kLinkReconnect);
}

void LinkThread::videoFlowing() {
    lastVideo_ = Clock::now();
    advance(LinkEvent::VideoFlowing);
    if (attempt_ > 0 && c_.infoLine != nullptr) c_.infoLine->set(reconnectedText_);
    attempt_ = 0;
}

void LinkThread::busySince(Clock::time_point start) {
    const Clock::time_point now = Clock::now();
    lastByte_ = now;
    lastVideo_ = lastVideo_ >= start ? now : lastVideo_ + (now - start);
}

void LinkThread::videoArrived() {
    lastVideo_ = Clock::now();
    if (phase_ == LinkPhase::VideoMissing) {
        advance(LinkEvent::VideoBack);
        // The notice goes when the video is back, unless something else
        // has been said since.
        if (c_.infoLine != nullptr && c_.infoLine->get() == videoSilenceText_) c_.infoLine->clear();
    }
}

void LinkThread::onVideo(const uint8_t* packet, size_t length, PushDiscipline discipline) {
    if (c_.end.ended()) return;
    videoArrived();
    c_.ring.push(packet, length, discipline);
}

void LinkThread::onChannelVideo(int channel, bool keyPicture, const uint8_t* packet, size_t length) {
    if (c_.end.ended() || c_.channelHandOver == nullptr) return;
    // Any shown channel's video keeps the silence watch quiet; a channel
    // without pictures says so in its own tile.
    videoArrived();
    c_.channelHandOver->push(channel, keyPicture, packet, length);
}

void LinkThread::setStatus(int value) {
    c_.status.store(value);
    c_.report().statusChanged();
}

void LinkThread::advance(LinkEvent event) {
    const LinkPhase next = nextPhase(phase_, event, attempt_ > 0);
    if (next != phase_ && awaitedAnswer(next) != nullptr)
        answerDue_ = Clock::now() + std::chrono::milliseconds(policy_.answerMs);
    phase_ = next;
}

bool LinkThread::moveTo(int next) {
    std::atomic<int>& state = c_.shared->threadState;
    int current = state.load();
    while (current != kLinkStopRequested && current != kLinkStopped) {
        if (state.compare_exchange_weak(current, next)) return true;
    }
    return false;
}

}  // namespace orvix
