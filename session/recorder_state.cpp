#include "session/recorder_state.h"

namespace orvix {

RecorderPhase nextPhase(RecorderPhase phase, RecorderStep step) {
    // A refused login stays refused until the next attempt.
    if (phase == RecorderPhase::LoginRefused && step != RecorderStep::Connect) return phase;
    switch (step) {
        case RecorderStep::Connect: return RecorderPhase::Connecting;
        case RecorderStep::VideoFlows:
            return phase == RecorderPhase::Connecting || phase == RecorderPhase::Reconnecting
                       ? RecorderPhase::Streaming
                       : phase;
        case RecorderStep::ReconnectScheduled: return RecorderPhase::Reconnecting;
        case RecorderStep::LoginRefused: return RecorderPhase::LoginRefused;
        case RecorderStep::Failed:
        case RecorderStep::RetryScheduled: return RecorderPhase::Unreachable;
        case RecorderStep::Closed: return RecorderPhase::Idle;
    }
    return phase;
}

std::string RecorderState::words(Clock::time_point now) const {
    switch (phase) {
        case RecorderPhase::Idle: return "idle";
        case RecorderPhase::Connecting: return "connecting";
        case RecorderPhase::Streaming: return "streaming";
        case RecorderPhase::Reconnecting: {
            const auto left = std::chrono::ceil<std::chrono::seconds>(reconnectAt - now).count();
            return "reconnecting in " + std::to_string(left > 0 ? left : 0) + " s (attempt " +
                   std::to_string(attempt) + ")";
        }
        case RecorderPhase::LoginRefused: return "login refused";
        case RecorderPhase::Unreachable: return "unreachable: " + cause;
    }
    return "idle";
}

}  // namespace orvix
