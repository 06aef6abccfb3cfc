// The recorder simulator's settings: what the command line (or a test)
// chooses, and the profile derived from them (framing, frame kind, codec,
// packet layout), refused when the client could not show the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/frame_kind.h"
#include "link/wire_format.h"
#include "media/video_codec.h"
#include "tools/recorder_sim/video_packet.h"

namespace orvix::sim {

struct RecordRange {
    enum class Mode { LastDay, Fixed, Empty };
    Mode mode = Mode::LastDay;  // LastDay: the 24 hours up to the moment of the reply
    uint32_t start = 0;         // Fixed: seconds since 1970
    uint32_t end = 0;
};

struct SimFaults {
    bool randomPieces = false;   // write the stream in random-sized pieces
    bool splitMarkers = false;   // every start and end marker across two writes
    bool garbage = false;        // junk bytes between packets
    bool wideFiller = false;     // random bytes in the Wide filler positions
    int closeMidPacketAfter = -1;  // >= 0: after this many video packets, close inside the next
    bool stopReading = false;    // stop reading once login and first data request are answered
    int stallSeconds = 0;        // once streaming runs, write nothing for this long
    int silentChannel = 0;       // > 0: this channel (1-based) stops after one second of video
    bool headersOnce = false;    // key pictures carry their stream headers only the first time per channel and connection
    int resetAfter = -1;         // >= 0: after this many video packets, abort with a reset
    bool closeAfterLogin = false;  // close once the login is answered
    // > 0 with downForMs: up for downAfterMs, then down (not listening, every
    // connection dropped) for downForMs, then listening again on the same
    // port; over and over.
    int downAfterMs = 0;
    int downForMs = 0;
    // The recorder goes silent before one of its answers (the connection
    // stays open and nothing more is written to it), or answers the login
    // and then writes only junk; on every connection, or only on the Nth
    // (from 1) when muteConnection > 0.
    enum class Mute { None, BeforeConnectOk, BeforeLoginAnswer, BeforeDataAnswer, JunkAfterLogin };
    Mute mute = Mute::None;
    int muteConnection = 0;
};

struct SimOptions {
    std::string bind = "127.0.0.1";
    uint16_t port = 0;
    uint32_t modelCode = 11;
    // Without --model-code the model follows --channels: one of 4 cameras,
    // else one of 9 (code 12) or 16 (code 13), so that a client offers them all.
    bool modelCodeGiven = false;
    int protocolVersion = 24;
    std::string account = "admin";
    std::string password = "1234";
    int descriptionLength = 552;                 // 276, 552 or 556
    std::optional<VideoPacketKind> packetKind;   // default: ndav for raw models, f5 otherwise
    int channels = 4;                            // 1-16
    int framesPerSecond = 25;                    // 1-60
    int width = 352;
    int height = 288;
    int echoIntervalSeconds = 5;                 // 0: never
    int loopSeconds = 0;                         // > 0: pictures encoded once, replayed
    RecordRange recordRange;
    std::string logFile;
    SimFaults faults;
    uint32_t seed = 1;
};

// What follows from the model and the options.
struct SimProfile {
    int32_t modelIndex = 0;
    FramingKind framing = FramingKind::Wide;
    FrameKind frameKind = FrameKind::Header64;
    VideoCodec codec = VideoCodec::Mpeg4;
    VideoPacketKind packetKind = VideoPacketKind::F5;
    int headerBytes = 32;
    // Raw H.264 only: the fixed parameter set the pictures are coded for.
    int videoStandardBit = 1;
    int resolutionCode = 0;
    uint8_t codingConfiguration = 0;
};

// The profile for `options`; false, with a message naming the problem, for
// combinations the client could not show.
bool resolveProfile(const SimOptions& options, SimProfile& profile, std::string& error);

enum class OptionsResult { Run, Help, Invalid };

// Parses the command line into `options` and checks it with
// resolveProfile(). Help: --help was given. Invalid: `error` says why.
OptionsResult parseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

// The --help text: every option with its default.
std::string simUsage();

}  // namespace orvix::sim
