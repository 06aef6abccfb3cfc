// What a recorder of the pool is doing, as every handle on it is told: a
// phase with what goes with it (when the next attempt comes, why the
// connection failed), and the words a tile or a web page shows for it. The
// phases move through one transition function.
#pragma once

#include <chrono>
#include <string>

namespace orvix {

enum class RecorderPhase {
    Idle,          // no connection, none wanted
    Connecting,    // connecting, logging in, asking for video
    Streaming,     // video flows
    Reconnecting,  // the connection was lost and is made again after a delay
    LoginRefused,  // the recorder refused the account; tried again only after a long pause
    Unreachable,   // the connection could not be made or was lost for good
};

// What moves a recorder from one phase to the next.
enum class RecorderStep {
    Connect,             // a connection is started
    VideoFlows,          // the recorder streams the channels asked for
    ReconnectScheduled,  // the link lost the connection and tries again
    LoginRefused,        // the recorder refused the account
    Failed,              // the connection failed and is not tried again
    RetryScheduled,      // a failed connection is tried again after a delay (handles still watch)
    Closed,              // the connection was closed (no handle for a while, or the pool stops)
};

// The phase `step` leads to from `phase`. A refused login stays refused
// until a new connection is started; video flowing is news only while
// connecting or reconnecting.
RecorderPhase nextPhase(RecorderPhase phase, RecorderStep step);

struct RecorderState {
    using Clock = std::chrono::steady_clock;

    RecorderPhase phase = RecorderPhase::Idle;
    // Reconnecting, and Unreachable when it is tried again: when the
    // attempt is made, and its number (from 1).
    Clock::time_point reconnectAt{};
    int attempt = 0;
    // Reconnecting and Unreachable: why, as the info line says it
    // ("Connection refused by 127.0.0.1:9000").
    std::string cause;
    // Unreachable: the recorder had answered (described itself) before the
    // connection failed, so the cause is no fault of the network.
    bool reached = false;

    // "idle", "connecting", "streaming", "reconnecting in 8 s (attempt 3)"
    // (the seconds left at `now`, rounded up), "login refused",
    // "unreachable: CAUSE".
    std::string words(Clock::time_point now = Clock::now()) const;

    bool operator==(const RecorderState& other) const = default;
};

}  // namespace orvix
