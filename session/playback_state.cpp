#include "session/playback_state.h"

#include <algorithm>

namespace orvix {

PlaybackStep nextPlayback(PlaybackPhase phase, PlaybackEvent event) {
    using P = PlaybackPhase;
    using A = PlaybackAction;
    switch (event) {
    case PlaybackEvent::Play:
        return {P::Playing, A::Search};
    case PlaybackEvent::Pause:
        return phase == P::Playing ? PlaybackStep{P::Paused, A::Halt} : PlaybackStep{phase, A::None};
    case PlaybackEvent::Resume:
        return phase == P::Paused ? PlaybackStep{P::Playing, A::Search} : PlaybackStep{phase, A::None};
    case PlaybackEvent::GoLive:
        return {P::Live, A::EndSearch};
    case PlaybackEvent::RangeAnswered:
        // The request asked for no channel: what was shown is asked for
        // again, a pause stays paused.
        if (phase == P::Live) return {P::Live, A::AskVideo};
        if (phase == P::Playing) return {P::Playing, A::Search};
        return {phase, A::None};
    case PlaybackEvent::Reconnected:
        return {P::Live, A::None};
    }
    return {phase, A::None};
}

uint32_t jumpTarget(uint32_t from, int64_t delta, uint32_t start, uint32_t end) {
    int64_t target = static_cast<int64_t>(from) + delta;
    if (end > start) target = std::clamp<int64_t>(target, start, end);
    return static_cast<uint32_t>(std::clamp<int64_t>(target, 0, UINT32_MAX));
}

}  // namespace orvix
