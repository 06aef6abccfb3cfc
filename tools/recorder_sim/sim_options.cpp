#include "tools/recorder_sim/sim_options.h"

#include <cstdlib>

#include "link/command_codes.h"
#include "link/model_class.h"
#include "media/parameter_sets.h"
#include "tools/sim_common/option_reader.h"

namespace orvix::sim {
namespace {

constexpr int kMinWidth = 64, kMinHeight = 48;
// The client opens its decoder for pictures up to this size.
constexpr int kMaxWidth = 720, kMaxHeight = 576;

constexpr OptionDefinition kOptions[] = {
    {"help", false},
    {"port", true},
    {"bind", true},
    {"model-code", true},
    {"protocol-version", true},
    {"account", true},
    {"password", true},
    {"description", true},
    {"packet-kind", true},
    {"channels", true},
    {"fps", true},
    {"size", true},
    {"echo-interval", true},
    {"loop", true},
    {"record-range", true},
    {"no-record-range", false},
    {"log", true},
    {"seed", true},
    {"fault-random-pieces", false},
    {"fault-split-markers", false},
    {"fault-garbage", false},
    {"fault-wide-filler", false},
    {"fault-close-mid-packet", true},
    {"fault-stop-reading", false},
    {"fault-headers-once", false},
    {"fault-stall", true},
    {"fault-silent-channel", true},
    {"fault-reset-after", true},
    {"fault-close-after-login", false},
    {"fault-down-after", true},
    {"fault-down-for", true},
    {"fault-mute-before", true},
    {"fault-junk-after-login", false},
    {"fault-on-connection", true},
};

// Seconds with up to three decimals (0.5, 2, 1.25) as milliseconds.
bool seconds(const ParsedOption& option, int& milliseconds, std::string& error) {
    char* end = nullptr;
    const double value = std::strtod(option.value.c_str(), &end);
    if (option.value.empty() || end == nullptr || *end != '\0' || !(value >= 0.001 && value <= 86400)) {
        error = "--" + option.name + " needs seconds from 0.001 to 86400, not \"" + option.value + "\"";
        return false;
    }
    milliseconds = static_cast<int>(value * 1000 + 0.5);
    return true;
}

bool number(const ParsedOption& option, int64_t min, int64_t max, int64_t& out, std::string& error) {
    if (parseInteger(option.value, min, max, out)) return true;
    error = "--" + option.name + " needs a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
            ", not \"" + option.value + "\"";
    return false;
}

bool parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    int64_t w = 0, h = 0;
    if (!parseInteger(std::string_view(text).substr(0, x), 1, 4096, w) ||
        !parseInteger(std::string_view(text).substr(x + 1), 1, 4096, h))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parseRange(const std::string& text, RecordRange& range) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) return false;
    int64_t start = 0, end = 0;
    if (!parseInteger(std::string_view(text).substr(0, dash), 0, UINT32_MAX, start) ||
        !parseInteger(std::string_view(text).substr(dash + 1), 0, UINT32_MAX, end))
        return false;
    range.mode = RecordRange::Mode::Fixed;
    range.start = static_cast<uint32_t>(start);
    range.end = static_cast<uint32_t>(end);
    return true;
}

bool muteConflict(std::string& error) {
    error = "--fault-mute-before and --fault-junk-after-login exclude each other";
    return false;
}

bool muteStep(const std::string& step, SimFaults& faults, std::string& error) {
    if (faults.mute != SimFaults::Mute::None) return muteConflict(error);
    if (step == "connect-ok") {
        faults.mute = SimFaults::Mute::BeforeConnectOk;
    } else if (step == "login") {
        faults.mute = SimFaults::Mute::BeforeLoginAnswer;
    } else if (step == "data-send") {
        faults.mute = SimFaults::Mute::BeforeDataAnswer;
    } else {
        error = "--fault-mute-before must be connect-ok, login or data-send, not \"" + step + "\"";
        return false;
    }
    return true;
}

bool apply(const ParsedOption& o, SimOptions& s, std::string& error) {
    int64_t v = 0;
    const std::string& n = o.name;
    if (n == "port") {
        if (!number(o, 0, 65535, v, error)) return false;
        s.port = static_cast<uint16_t>(v);
    } else if (n == "bind") {
        s.bind = o.value;
    } else if (n == "model-code") {
        if (!number(o, 0, UINT32_MAX, v, error)) return false;
        s.modelCode = static_cast<uint32_t>(v);
        s.modelCodeGiven = true;
    } else if (n == "protocol-version") {
        if (!number(o, 0, 65535, v, error)) return false;
        s.protocolVersion = static_cast<int>(v);
    } else if (n == "account") {
        s.account = o.value;
    } else if (n == "password") {
        s.password = o.value;
    } else if (n == "description") {
        if (!number(o, 0, 1000, v, error)) return false;
        s.descriptionLength = static_cast<int>(v);
    } else if (n == "packet-kind") {
        s.packetKind = packetKindFromName(o.value);
        if (!s.packetKind) {
            error = "--packet-kind must be f2, f5, badj, ndav or nda, not \"" + o.value + "\"";
            return false;
        }
    } else if (n == "channels") {
        if (!number(o, 1, 16, v, error)) return false;
        s.channels = static_cast<int>(v);
    } else if (n == "fps") {
        if (!number(o, 1, 60, v, error)) return false;
        s.framesPerSecond = static_cast<int>(v);
    } else if (n == "size") {
        if (!parseSize(o.value, s.width, s.height)) {
            error = "--size needs WIDTHxHEIGHT, not \"" + o.value + "\"";
            return false;
        }
    } else if (n == "loop") {
        if (!number(o, 1, 10, v, error)) return false;
        s.loopSeconds = static_cast<int>(v);
    } else if (n == "echo-interval") {
        if (!number(o, 0, 3600, v, error)) return false;
        s.echoIntervalSeconds = static_cast<int>(v);
    } else if (n == "record-range") {
        if (!parseRange(o.value, s.recordRange)) {
            error = "--record-range needs START-END in seconds since 1970, not \"" + o.value + "\"";
            return false;
        }
    } else if (n == "no-record-range") {
        s.recordRange.mode = RecordRange::Mode::Empty;
    } else if (n == "log") {
        s.logFile = o.value;
    } else if (n == "seed") {
        if (!number(o, 0, UINT32_MAX, v, error)) return false;
        s.seed = static_cast<uint32_t>(v);
    } else if (n == "fault-random-pieces") {
        s.faults.randomPieces = true;
    } else if (n == "fault-split-markers") {
        s.faults.splitMarkers = true;
    } else if (n == "fault-garbage") {
        s.faults.garbage = true;
    } else if (n == "fault-wide-filler") {
        s.faults.wideFiller = true;
    } else if (n == "fault-close-mid-packet") {
        if (!number(o, 0, 1000000, v, error)) return false;
        s.faults.closeMidPacketAfter = static_cast<int>(v);
    } else if (n == "fault-stop-reading") {
        s.faults.stopReading = true;
    } else if (n == "fault-headers-once") {
        s.faults.headersOnce = true;
    } else if (n == "fault-silent-channel") {
        if (!number(o, 1, 16, v, error)) return false;
        s.faults.silentChannel = static_cast<int>(v);
    } else if (n == "fault-stall") {
        if (!number(o, 1, 3600, v, error)) return false;
        s.faults.stallSeconds = static_cast<int>(v);
    } else if (n == "fault-reset-after") {
        if (!number(o, 0, 1000000, v, error)) return false;
        s.faults.resetAfter = static_cast<int>(v);
    } else if (n == "fault-close-after-login") {
        s.faults.closeAfterLogin = true;
    } else if (n == "fault-down-after") {
        if (!seconds(o, s.faults.downAfterMs, error)) return false;
    } else if (n == "fault-down-for") {
        if (!seconds(o, s.faults.downForMs, error)) return false;
    } else if (n == "fault-mute-before") {
        return muteStep(o.value, s.faults, error);
    } else if (n == "fault-junk-after-login") {
        if (s.faults.mute != SimFaults::Mute::None) return muteConflict(error);
        s.faults.mute = SimFaults::Mute::JunkAfterLogin;
    } else if (n == "fault-on-connection") {
        if (!number(o, 1, 1000000, v, error)) return false;
        s.faults.muteConnection = static_cast<int>(v);
    }
    return true;
}

}  // namespace

bool resolveProfile(const SimOptions& s, SimProfile& p, std::string& error) {
    const std::optional<int32_t> index = modelIndexForCode(s.modelCode);
    if (!index) {
        error = "model code " + std::to_string(s.modelCode) + " is not one the client knows";
        return false;
    }
    const std::optional<FramingKind> framing = commandFraming(*index);
    const FrameKind frameKind = frameKindForModel(*index);
    const VideoCodec codec = codecForModel(*index);
    if (!framing || frameKind == FrameKind::None || codec == VideoCodec::None) {
        error = "model code " + std::to_string(s.modelCode) + " has no video the client can show";
        return false;
    }
    p = SimProfile{};
    p.modelIndex = *index;
    p.framing = *framing;
    p.frameKind = frameKind;
    p.codec = codec;
    p.headerBytes = frameKind == FrameKind::Header64 ? 64 : 32;
    const bool raw = frameKind == FrameKind::Header32Raw;
    p.packetKind = s.packetKind.value_or(raw ? VideoPacketKind::Ndav : VideoPacketKind::F5);

    // The raw layout (channel at 4, key at 5) is the NDAV header; the other
    // layouts (time at 4, channel at 8) are those of the other four kinds.
    if (raw && p.packetKind != VideoPacketKind::Ndav) {
        error = "model code " + std::to_string(s.modelCode) + " sends raw H.264, which travels only in ndav packets";
        return false;
    }
    if (!raw && p.packetKind == VideoPacketKind::Ndav) {
        error = "ndav packets carry raw H.264; model code " + std::to_string(s.modelCode) +
                " needs f2, f5, badj or nda";
        return false;
    }
    if (s.width % 2 != 0 || s.height % 2 != 0 || s.width < kMinWidth || s.height < kMinHeight ||
        s.width > kMaxWidth || s.height > kMaxHeight) {
        error = "picture size " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                " must be even and from 64x48 to 720x576";
        return false;
    }
    if (raw) {
        bool found = false;
        for (int standard = 0; standard <= 1 && !found; ++standard) {
            for (int code = 0; code <= 2 && !found; ++code) {
                const RawParameterSet* set = rawParameterSet(standard, code);
                if (set != nullptr && set->width == s.width && set->height == s.height) {
                    p.videoStandardBit = standard;
                    p.resolutionCode = code;
                    found = true;
                }
            }
        }
        if (!found) {
            error = "raw H.264 pictures must have a size with a fixed parameter set "
                    "(352x240, 704x240, 704x480, 352x288, 704x288 or 704x576), not " +
                    std::to_string(s.width) + "x" + std::to_string(s.height);
            return false;
        }
        p.codingConfiguration = static_cast<uint8_t>((p.videoStandardBit << 3) | p.resolutionCode);
    }
    if (s.descriptionLength != 276 && s.descriptionLength != 552 && s.descriptionLength != 556) {
        error = "--description must be 276, 552 or 556";
        return false;
    }
    if (s.protocolVersion < 0 || s.protocolVersion > 65535) {
        error = "--protocol-version must be from 0 to 65535";
        return false;
    }
    if (s.account.size() >= kLoginFieldSize || s.password.size() >= kLoginFieldSize) {
        error = "account and password must be shorter than 50 bytes";
        return false;
    }
    if (s.channels < 1 || s.channels > 16) {
        error = "--channels must be from 1 to 16";
        return false;
    }
    if (s.framesPerSecond < 1 || s.framesPerSecond > 60) {
        error = "--fps must be from 1 to 60";
        return false;
    }
    return true;
}

OptionsResult parseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    std::vector<ParsedOption> parsed;
    if (!readOptions(argc, argv, kOptions, parsed, error)) return OptionsResult::Invalid;
    for (const ParsedOption& option : parsed) {
        if (option.name == "help") return OptionsResult::Help;
    }
    for (const ParsedOption& option : parsed) {
        if (!apply(option, options, error)) return OptionsResult::Invalid;
    }
    if ((options.faults.downAfterMs > 0) != (options.faults.downForMs > 0)) {
        error = "--fault-down-after and --fault-down-for go together";
        return OptionsResult::Invalid;
    }
    if (options.faults.muteConnection > 0 && options.faults.mute == SimFaults::Mute::None) {
        error = "--fault-on-connection needs --fault-mute-before or --fault-junk-after-login";
        return OptionsResult::Invalid;
    }
    if (!options.modelCodeGiven && options.channels > 4) options.modelCode = options.channels <= 9 ? 12 : 13;
    SimProfile profile;
    if (!resolveProfile(options, profile, error)) return OptionsResult::Invalid;
    return OptionsResult::Run;
}

std::string simUsage() {
    return "usage: orvix-recorder-sim [options]\n"
           "A recorder on a TCP port: logs a client in, streams live and playback video of\n"
           "coloured, numbered test pictures, follows camera control and alarm outputs.\n"
           "Prints \"listening on ADDRESS:PORT\" when ready; ends on SIGINT or SIGTERM.\n"
           "\n"
           "  --port N                 port to listen on; 0 chooses a free one (default 0)\n"
           "  --bind ADDRESS           IPv4 address to listen on (default 127.0.0.1)\n"
           "  --model-code N           recorder model code: sets framing, packet layout and\n"
           "                           codec (default 11); a model of 4 cameras, and the\n"
           "                           default becomes 12 (9 cameras) for --channels 5-9\n"
           "                           and 13 (16 cameras) for --channels 10-16\n"
           "  --protocol-version N     protocol version in the description; chooses the login\n"
           "                           form: 0-1 plain, 2-23 plain + model field, 24+ salted\n"
           "                           SHA-256 (default 24)\n"
           "  --account TEXT           account the login must name (default admin)\n"
           "  --password TEXT          password the login must give (default 1234)\n"
           "  --description N          description form: 276, 552 or 556 bytes (default 552)\n"
           "  --packet-kind KIND       f2, f5, badj, ndav or nda (default ndav for raw H.264\n"
           "                           models, f5 otherwise)\n"
           "  --channels N             cameras, 1-16 (default 4)\n"
           "  --fps N                  pictures per second, 1-60 (default 25)\n"
           "  --size WxH               picture size (default 352x288; raw H.264 models:\n"
           "                           352x240, 704x240, 704x480, 352x288, 704x288, 704x576)\n"
           "  --loop SEC               encode SEC seconds (1-10) of each camera once, at the\n"
           "                           first request, and replay them: many channels at a\n"
           "                           high rate on a slow machine; the pictures then show\n"
           "                           neither the time nor camera moves (the packets' times\n"
           "                           stay live)\n"
           "  --echo-interval SEC      echo request every SEC seconds after login, 0 never\n"
           "                           (default 5)\n"
           "  --record-range START-END recorded range in seconds since 1970 (default: the\n"
           "                           24 hours up to the request)\n"
           "  --no-record-range        answer record requests with an empty range\n"
           "  --log FILE               write one line per received command to FILE (and a\n"
           "                           line when a client connects or goes)\n"
           "  --seed N                 seed of the fault options' randomness (default 1)\n"
           "  --help                   this text\n"
           "\n"
           "Faults, for tests:\n"
           "  --fault-random-pieces    write the stream in random-sized pieces\n"
           "  --fault-split-markers    split every packet marker across two writes\n"
           "  --fault-garbage          put junk bytes between packets\n"
           "  --fault-wide-filler      random bytes in the Wide framing's filler positions\n"
           "  --fault-close-mid-packet N  after N video packets close inside the next one\n"
           "  --fault-stop-reading     stop reading once login and the first data request\n"
           "                           are answered, so the client's sends block\n"
           "  --fault-stall SEC        once streaming runs, write nothing for SEC seconds\n"
           "  --fault-silent-channel N channel N sends nothing after its first second of\n"
           "                           video; the others go on\n"
           "  --fault-headers-once     key pictures carry the stream headers (SPS/PPS, VOL)\n"
           "                           only the first time a connection gets their channel\n"
           "  --fault-reset-after N    after N video packets abort the connection with a\n"
           "                           reset (RST) instead of a close\n"
           "  --fault-close-after-login  close the connection right after the login is\n"
           "                           answered\n"
           "  --fault-down-after SEC   with --fault-down-for: after SEC seconds stop listening\n"
           "                           and drop every connection, ...\n"
           "  --fault-down-for SEC     ... for SEC seconds, then listen again on the same port;\n"
           "                           over and over (seconds may have decimals)\n"
           "  --fault-mute-before STEP say nothing more from STEP on, the connection left\n"
           "                           open: connect-ok (no description), login (no login\n"
           "                           answer) or data-send (no answer to the data request)\n"
           "  --fault-junk-after-login answer the login, then write only junk bytes\n"
           "  --fault-on-connection N  the two faults above only on the Nth connection\n"
           "                           (from 1), not on every one\n"
           "A recorder that refuses connections is simply one that is not running.\n";
}

}  // namespace orvix::sim
