#include "tools/recorder_sim/recorder_session.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

#include "link/command_codes.h"
#include "tools/recorder_sim/login_check.h"
#include "tools/recorder_sim/recorder_clock.h"
#include "tools/recorder_sim/recorder_description.h"
#include "tools/recorder_sim/video_packet.h"

namespace orvix::sim {

namespace {

// A key picture without the stream headers in front of its picture data:
// everything before an MPEG-4 VOP, or the H.264 SPS and PPS units (whose
// header bytes are below 0x80, as every H.264 unit's).
std::vector<uint8_t> withoutStreamHeaders(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> starts;  // of each start code
    for (size_t i = 0; i + 3 < bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) starts.push_back(i);
    }
    std::vector<uint8_t> kept;
    for (size_t n = 0; n < starts.size(); ++n) {
        const uint8_t code = bytes[starts[n] + 3];
        if (code == 0xB6) return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(starts[n]), bytes.end());
        if (code >= 0x80 || (code & 0x1F) == 7 || (code & 0x1F) == 8) continue;
        const size_t end = n + 1 < starts.size() ? starts[n + 1] : bytes.size();
        kept.insert(kept.end(), bytes.begin() + static_cast<std::ptrdiff_t>(starts[n]),
                    bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return kept;
}

constexpr int kIdleWaitMs = 100;
constexpr uint32_t kOneDay = 86400;

std::string channelList(const std::bitset<16>& channels) {
    std::string text;
    for (size_t c = 0; c < channels.size(); ++c) {
        if (!channels.test(c)) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(c);
    }
    return text.empty() ? "none" : text;
}

std::vector<uint8_t> twoValues(uint32_t first, uint32_t second) {
    std::vector<uint8_t> out(8);
    writeLe32(out.data(), first);
    writeLe32(out.data() + 4, second);
    return out;
}

}  // namespace

RecorderSession::RecorderSession(int fd, const SimOptions& options, const SimProfile& profile, CommandLog& log,
                                 const std::atomic<bool>& stop, uint32_t seed,
                                 std::function<void(const std::string&)> notice, int connection)
    : fd_(fd),
      options_(options),
      profile_(profile),
      log_(log),
      stop_(stop),
      notice_(std::move(notice)),
      mute_(options.faults.muteConnection == 0 || options.faults.muteConnection == connection
                ? options.faults.mute
                : SimFaults::Mute::None),
      writer_(fd, options.faults, seed, stop) {
    for (int c = 0; c < options.channels; ++c) channels_.push_back(std::make_unique<ChannelStream>(options, profile));
}

void RecorderSession::remark(const std::string& text) {
    if (notice_) notice_(text);
}

bool RecorderSession::mutedAt(SimFaults::Mute step, const char* logLine) {
    if (mute_ != step) return false;
    log_.add(logLine);
    muted_ = true;
    return true;
}

void RecorderSession::reply(uint32_t code, const std::vector<uint8_t>& payload) {
    if (!open_ || muted_) return;
    if (writer_.writeCommand(profile_.framing, code, payload) != IoResult::Done) open_ = false;
}

void RecorderSession::run() {
    DescriptionFields description;
    description.length = options_.descriptionLength;
    description.modelCode = options_.modelCode;
    description.cameras = options_.channels;
    description.protocolVersion = options_.protocolVersion;
    description.videoStandardBit = static_cast<uint8_t>(profile_.videoStandardBit);
    prepareLoops();
    if (!mutedAt(SimFaults::Mute::BeforeConnectOk, "MUTED before CONNECT_OK"))
        reply(COMMAND_CONNECT_OK, buildDescription(description));

    const auto period = std::chrono::microseconds(1000000 / options_.framesPerSecond);
    Clock::time_point last = Clock::now();
    Clock::time_point nextFrame = last;
    while (open_ && !stop_.load()) {
        const Clock::time_point now = Clock::now();
        const bool streaming = loggedIn_ && requested_.any() && !muted_;
        int waitMs = kIdleWaitMs;
        if (streaming) {
            const auto untilFrame = std::chrono::duration_cast<std::chrono::milliseconds>(nextFrame - now).count();
            waitMs = static_cast<int>(std::clamp<int64_t>(untilFrame, 0, kIdleWaitMs));
        }
        if (!receive(waitMs)) break;
        if (mute_ == SimFaults::Mute::JunkAfterLogin && muted_ && writer_.writeJunk() != IoResult::Done) break;

        const Clock::time_point after = Clock::now();
        const double elapsed = std::chrono::duration<double>(after - last).count();
        last = after;
        for (auto& channel : channels_) channel->camera.advance(elapsed);
        alarms_.expire(after);

        if (loggedIn_ && options_.echoIntervalSeconds > 0 && after >= nextEcho_) {
            reply(COMMAND_ECHO_REQ);
            nextEcho_ = after + std::chrono::seconds(options_.echoIntervalSeconds);
        }
        if (!streaming) {
            nextFrame = after;
            continue;
        }
        if (after >= nextFrame) {
            produceFrames();
            nextFrame += period;
            // Far behind (a stall, a slow machine): carry on from now.
            if (nextFrame + period < Clock::now()) nextFrame = Clock::now() + period;
        }
    }
    if (writer_.closedByFault()) log_.add("CLOSED mid-packet");
    if (writer_.resetByFault()) {
        log_.add("RESET after " + std::to_string(writer_.videoPackets()) + " video packets");
    } else {
        // The end of the stream goes out first: closing with commands of the
        // client still unread would reset the connection instead.
        ::shutdown(fd_, SHUT_WR);
    }
}

bool RecorderSession::receive(int timeoutMs) {
    if (readingStopped_) {
        // Not reading: only notice that the client has gone.
        pollfd p{fd_, POLLRDHUP, 0};
        if (::poll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return false;
        return true;
    }
    uint8_t buffer[4096];
    long n = readSome(fd_, buffer, sizeof buffer, timeoutMs);
    while (n > 0) {
        reader_.feed(buffer, static_cast<size_t>(n));
        ClientCommand command;
        while (open_ && !readingStopped_ && reader_.next(command)) handle(command);
        if (readingStopped_ || !open_) return open_;
        n = readSome(fd_, buffer, sizeof buffer, 0);
    }
    return n == 0;
}

void RecorderSession::handle(const ClientCommand& command) {
    const std::vector<uint8_t>& p = command.payload;
    char line[128];
    switch (command.code) {
        case COMMAND_LOGIN_REQ:
            handleLogin(command);
            return;
        case COMMAND_DATA_SEND_REQ:
            handleDataRequest(command);
            return;
        case COMMAND_ECHO_ACK:
            log_.add("ECHO_ACK");
            return;
        case COMMAND_RECORD_INFO_REQ: {
            log_.add("RECORD_INFO_REQ");
            if (!loggedIn_) return;
            uint32_t start = 0, end = 0;
            if (options_.recordRange.mode == RecordRange::Mode::Fixed) {
                start = options_.recordRange.start;
                end = options_.recordRange.end;
            } else if (options_.recordRange.mode == RecordRange::Mode::LastDay) {
                end = recorderClockNow();
                start = end - kOneDay;
            }
            reply(COMMAND_RECORD_INFO, twoValues(start, end));
            return;
        }
        case COMMAND_SEARCH_MODE_REQ:
            log_.add("SEARCH_MODE_REQ");
            // Sent on the way into search and on the way out.
            searchMode_ = !searchMode_;
            if (!searchMode_) playing_ = false;
            return;
        case COMMAND_SEARCH_TIME_REQ:
            if (p.size() < 4) break;
            searchTime_ = readLe32(p.data());
            log_.add("SEARCH_TIME " + std::to_string(searchTime_));
            if (playing_) {
                playbackFrames_ = 0;
                restartKeys();
            }
            return;
        case COMMAND_SEARCH_PLAY_REQ:
            log_.add("SEARCH_PLAY_REQ");
            if (!loggedIn_) return;
            searchMode_ = true;
            playing_ = true;
            playbackFrames_ = 0;
            restartKeys();
            return;
        case COMMAND_PLAY_CONTROL_REQ:
            if (p.size() < 4) break;
            std::snprintf(line, sizeof line, "PLAY_CONTROL %02X%02X%02X%02X", p[0], p[1], p[2], p[3]);
            log_.add(line);
            return;
        case COMMAND_SEARCH_END_REQ:
            log_.add("SEARCH_END_REQ");
            searchMode_ = false;
            playing_ = false;
            restartKeys();
            return;
        case COMMAND_PTZ_REQ:
            if (p.size() < 16) break;
            handlePtz(command);
            return;
        case COMMAND_ALARM_OUT_REQ:
            if (p.size() < 44) break;
            handleAlarm(command);
            return;
        default:
            break;
    }
    log_.add("COMMAND code=" + std::to_string(command.code) + " length=" + std::to_string(p.size()));
}

void RecorderSession::handleLogin(const ClientCommand& command) {
    const LoginExpectation expected{profile_.framing, options_.protocolVersion, options_.account, options_.password};
    const LoginResult result = checkLogin(expected, command.framing, command.payload.data(), command.payload.size());
    std::string line = "LOGIN account=" + result.account + " ok=" + (result.ok ? "1" : "0");
    if (!result.ok) line += " reason=" + result.reason;
    log_.add(line);
    if (mutedAt(SimFaults::Mute::BeforeLoginAnswer, "MUTED before the login answer")) return;
    if (!result.ok) {
        reply(COMMAND_LOGIN_FAIL);
        return;
    }
    loggedIn_ = true;
    nextEcho_ = Clock::now() + std::chrono::seconds(options_.echoIntervalSeconds);
    reply(COMMAND_LOGIN_OK, buildLoginOk(options_.channels));
    mutedAt(SimFaults::Mute::JunkAfterLogin, "JUNK after login");
    if (options_.faults.closeAfterLogin && open_) {
        log_.add("CLOSED after login");
        open_ = false;
    }
}

void RecorderSession::handleDataRequest(const ClientCommand& command) {
    const std::vector<uint8_t>& p = command.payload;
    if (p.size() < kDataSendReqPayload) {
        log_.add("COMMAND code=" + std::to_string(command.code) + " length=" + std::to_string(p.size()));
        return;
    }
    const uint32_t flag = readLe32(p.data() + 4);
    std::bitset<16> channels;
    for (size_t c = 0; c < 16; ++c) channels.set(c, p[8 + c] != 0);
    log_.add("DATA_SEND_REQ flag=" + std::to_string(flag) + " channels=" + channelList(channels));
    if (!loggedIn_ || muted_) return;
    if (mutedAt(SimFaults::Mute::BeforeDataAnswer, "MUTED before the data-send answer")) return;

    // Channels the recorder does not have are not streamed.
    for (size_t c = static_cast<size_t>(options_.channels); c < 16; ++c) channels.reset(c);
    requested_ = channels;
    iframeOnly_ = flag == 1;
    restartKeys();
    reply(COMMAND_DATA_SEND_OK);
    if (options_.faults.stopReading && !dataRequested_) readingStopped_ = true;
    dataRequested_ = true;
}

void RecorderSession::handlePtz(const ClientCommand& command) {
    const uint8_t* p = command.payload.data();
    const uint32_t channel = readLe32(p), subcode = readLe32(p + 4), preset = readLe32(p + 8),
                   parameter = readLe32(p + 12);
    log_.add("PTZ channel=" + std::to_string(channel) + " subcode=" + std::to_string(subcode) +
             " preset=" + std::to_string(preset) + " parameter=" + std::to_string(parameter));
    if (!loggedIn_ || channel >= channels_.size()) return;
    channels_[channel]->camera.apply(subcode, preset);
}

void RecorderSession::handleAlarm(const ClientCommand& command) {
    const uint8_t* p = command.payload.data();
    if (readLe16(p) == 0) {
        log_.add("ALARM_OUT on=0");
        if (loggedIn_) alarms_.switchOff();
        return;
    }
    int output = -1;
    if (p[4] == 1) {
        output = 0;
    } else if (p[5] == 1) {
        output = readLe16(p + 6) + 1;
    }
    const uint32_t duration = readLe32(p + 40);
    log_.add("ALARM_OUT on=1 output=" + std::to_string(output) + " duration=" + std::to_string(duration));
    if (loggedIn_) alarms_.switchOn(output, duration, Clock::now());
}

void RecorderSession::prepareLoops() {
    if (options_.loopSeconds <= 0) return;
    // Encoded before the recorder describes itself, so that every channel
    // streams at its rate from its first request on.
    for (size_t c = 0; c < channels_.size(); ++c) {
        PictureContent content;
        content.channel = static_cast<int>(c);
        content.time = recorderClockNow();
        content.camera = channels_[c]->camera.view();
        std::string error;
        if (!channels_[c]->prepareLoop(content, options_.loopSeconds, error))
            remark("channel " + std::to_string(c) + ": loop not encoded: " + error);
    }
}

void RecorderSession::restartKeys() {
    for (auto& channel : channels_) channel->restartKeys();
}

void RecorderSession::produceFrames() {
    if (searchMode_ && !playing_) return;
    for (size_t c = 0; c < channels_.size() && open_; ++c) {
        if (!requested_.test(c)) continue;
        if (static_cast<int>(c) + 1 == options_.faults.silentChannel &&
            frameNumber_ >= static_cast<uint64_t>(options_.framesPerSecond))
            continue;
        ChannelStream& stream = *channels_[c];
        if (iframeOnly_ && !stream.keyDue()) {
            stream.skipPicture();
            continue;
        }
        sendPicture(static_cast<int>(c), stream);
    }
    ++frameNumber_;
    if (playing_) ++playbackFrames_;
}

void RecorderSession::sendPicture(int channel, ChannelStream& stream) {
    PictureContent content;
    content.channel = channel;
    content.playback = playing_;
    content.time = playing_ ? searchTime_ + static_cast<uint32_t>(playbackFrames_ / options_.framesPerSecond)
                            : recorderClockNow();
    content.frameNumber = frameNumber_;
    content.camera = stream.camera.view();
    content.alarms = alarms_.shown();

    media::EncodedPicture picture;
    std::string error;
    if (!stream.encode(content, picture, error)) {
        remark("channel " + std::to_string(channel) + ": picture not encoded: " + error);
        return;
    }
    if (options_.faults.headersOnce && picture.key) {
        if (headersSent_.test(static_cast<size_t>(channel))) picture.bytes = withoutStreamHeaders(picture.bytes);
        headersSent_.set(static_cast<size_t>(channel));
    }
    VideoPacketHeader header;
    header.kind = profile_.packetKind;
    header.headerBytes = profile_.headerBytes;
    header.channel = channel;
    header.key = picture.key;
    header.time = content.time;
    header.search = playing_;
    header.codingConfiguration = profile_.codingConfiguration;
    std::vector<uint8_t> packet;
    if (!buildVideoPacket(header, picture.bytes.data(), picture.bytes.size(), packet)) {
        remark("channel " + std::to_string(channel) + ": picture too large for a packet, dropped");
        stream.requestKey();
        return;
    }
    if (hasEarlyEndMarker(header.kind, packet.data(), packet.size())) {
        // The client would cut the packet at that marker.
        remark("channel " + std::to_string(channel) + ": picture holds an end marker, dropped");
        stream.requestKey();
        return;
    }
    if (writer_.writeVideo(packet) != IoResult::Done) {
        open_ = false;
        return;
    }
    if (options_.faults.stallSeconds > 0 && !stallDone_) {
        stallDone_ = true;
        writer_.stall(options_.faults.stallSeconds);
    }
}

}  // namespace orvix::sim
