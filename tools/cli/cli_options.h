// The command line of orvix-cli: what to connect to, what to ask for, and
// when the run has reached its goal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/channel_set.h"

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

struct CliOptions {
    // Either a recorder address, or a DDNS server and the recorder's id.
    std::string host;
    int port = 0;
    std::string ddnsServer;
    int ddnsPort = 0;
    std::string ddnsId;
    bool useDdns = false;

    std::string user;
    bool userGiven = false;
    std::string password;
    bool passwordGiven = false;  // --password
    std::string passwordFile;    // --password-file: the password is its first line
    std::string deviceName;      // --device: a recorder of the device list
    int framingKind = 0;  // --stream: mpeg4 0, h264 1
    bool streamGiven = false;
    int channel = 1;      // 1-based; the first of `channels`
    ChannelSet channels = ChannelSet::single(0);  // --channel LIST, in the given order
    bool iframeOnly = false;
    int frames = 50;
    bool framesGiven = false;
    int timeoutSeconds = 20;
    std::string snapshotPath;
    std::string recordPath;
    std::optional<uint32_t> searchTime;  // recorder seconds since 1970
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

// "YYYY-MM-DD HH:MM:SS" as recorder seconds (no time zone); nullopt when the
// text is not such a date between 1970 and 2105.
std::optional<uint32_t> parseRecorderTime(const std::string& text);

// A whole decimal number in [min, max], nothing else in the text (the
// numbers of orvix-cli's and orvix-bridge's options).
std::optional<long long> parseNumber(std::string_view text, long long min, long long max);
// The inverse, for printing.
std::string formatRecorderTime(uint32_t seconds);

// "ACTION[:PRESET]" with the action by name or number.
std::optional<PtzRequest> parsePtz(const std::string& text, std::string& error);
// "on:OUTPUT:SECONDS" or "off".
std::optional<AlarmRequest> parseAlarm(const std::string& text, std::string& error);

}  // namespace orvix::cli
