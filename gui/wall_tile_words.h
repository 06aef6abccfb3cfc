// What a wall tile says about its camera when it shows no live picture:
// the recorder's state in words ("Connecting", "Reconnecting in 4 s",
// "Login refused", "Recorder unreachable: CAUSE"), a camera that stays
// silent ("No video for 12 s"), or a recorder gone from the device list.
// Pure.
#pragma once

#include <QString>
#include <cstdint>

#include "session/recorder_state.h"

namespace orvix {

// A streaming recorder's camera without a picture this long says so.
constexpr int kNoVideoNoticeMs = 10000;

struct WallTileFacts {
    QString recorderName;  // as last known
    bool listed = true;    // the recorder is in the device list
    RecorderState state;
    int camera = 0;        // 0-based
    int cameras = 0;       // the recorder's, 0 before it reported them
    bool hasPicture = false;
    // While streaming: since the tile's last picture, or since it waits
    // for its first.
    int64_t silentMs = 0;
};

struct TileWords {
    QString text;    // empty: the picture is shown
    QString detail;  // a second line: the cause, or when it is tried again
    bool operator==(const TileWords&) const = default;
};

TileWords wallTileWords(const WallTileFacts& facts, RecorderState::Clock::time_point now);

}  // namespace orvix
