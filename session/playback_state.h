// Playback as a player has it, on top of the recorder's two requests (play
// from a time, end the search): live, playing or paused. A pause ends the
// search and keeps the last picture; resuming plays again from the last
// shown time. One transition function says what each event leads to.
#pragma once

#include <cstdint>

namespace orvix {

enum class PlaybackPhase {
    Live,     // live video (or none asked for yet)
    Playing,  // recorded video plays from a chosen time
    Paused,   // the search ended; the last picture stays
};

enum class PlaybackEvent {
    Play,           // play from a chosen time
    Pause,          // stop where the pictures are
    Resume,         // play again from the last shown time
    GoLive,         // leave playback for live video
    RangeAnswered,  // the range request (which stopped the video) was answered
    Reconnected,    // the link came back by itself, live
};

// What the session sends for a step.
enum class PlaybackAction {
    None,
    Search,     // search start at the step's time
    EndSearch,  // search end, then the live channel again
    Halt,       // search end without asking for video again
    AskVideo,   // the live channel's data request again
};

struct PlaybackStep {
    PlaybackPhase phase = PlaybackPhase::Live;
    PlaybackAction action = PlaybackAction::None;
};

// The step `event` leads to from `phase`.
PlaybackStep nextPlayback(PlaybackPhase phase, PlaybackEvent event);

// Where a jump of `delta` seconds from `from` lands: inside [start, end]
// when a range is known (end > start), never below 0, never past 32 bits.
uint32_t jumpTarget(uint32_t from, int64_t delta, uint32_t start, uint32_t end);

}  // namespace orvix
