// The command line of orvix-cli: what to connect to, what to ask for, and
// when the run has reached its goal.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/channel_set.h"
#include "frontend/recorder_options.h"

namespace orvix::cli {

struct PtzRequest {
    int action = 0;      // 0-10, as the PTZ page sends it
    int32_t preset = 0;  // 1-16 for go-to and store, else 0
};

struct AlarmRequest {
    bool on = false;
    int output = 0;         // 0 all
    uint32_t seconds = 0;   // 0 without limit
};

// The recorder (RecorderOptions) and what to ask of it.
struct CliOptions : RecorderOptions {
    int channel = 1;      // 1-based; the first of `channels`
    ChannelSet channels = ChannelSet::single(0);  // --channel LIST, in the given order
    bool iframeOnly = false;
    int frames = 50;
    bool framesGiven = false;
    int timeoutSeconds = 20;
    // When --timeout runs out, counted from before the password file was
    // read; unset, from the start of runClient().
    std::optional<std::chrono::steady_clock::time_point> deadline;
    std::string snapshotPath;
    std::string recordPath;
    std::optional<uint32_t> searchTime;  // recorder seconds since 1970 (--search, --from)
    std::optional<uint32_t> spanEnd;     // --to: playback stops there
    bool recordInfo = false;
    std::optional<PtzRequest> ptz;
    std::optional<AlarmRequest> alarm;
    bool verbose = false;
    bool reconnect = false;  // --reconnect: connect again after a loss
    int maxReconnects = 0;   // --max-reconnects: 0 no limit

    // --record-info without --frames or --search: the range is the goal.
    bool rangeIsGoal() const { return recordInfo && !framesGiven && !searchTime; }
};

struct ParsedCommandLine {
    enum class Outcome { Run, Help, Error };
    Outcome outcome = Outcome::Error;
    CliOptions options;
    std::string error;  // one line, for Error
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

const char* usageText();

// "ACTION[:PRESET]" with the action by name or number.
std::optional<PtzRequest> parsePtz(const std::string& text, std::string& error);
// "on:OUTPUT:SECONDS" or "off".
std::optional<AlarmRequest> parseAlarm(const std::string& text, std::string& error);

}  // namespace orvix::cli
