#include "cli/cli_options.h"

#include <algorithm>
#include <filesystem>
#include <system_error>


namespace orvix::cli {
namespace {

struct PtzName {
    const char* name;
    int action;
};

constexpr PtzName kPtzNames[] = {
    {"stop", 0}, {"up", 1}, {"down", 2}, {"left", 3}, {"right", 4}, {"goto", 5}, {"set", 6},
    {"zoom-out", 7}, {"zoom-in", 8}, {"focus-in", 9}, {"focus-out", 10},
};

// Whether two names reach one file: the same file when both exist (links
// included), else the same path once made absolute, with symbolic links of
// the existing part resolved and "." and ".." removed.
bool sameFile(const std::string& first, const std::string& second) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::equivalent(first, second, error)) return true;
    const auto normal = [](const std::string& name) {
        std::error_code ignored;
        fs::path path = fs::absolute(name, ignored);
        const fs::path resolved = fs::weakly_canonical(path, ignored);
        return (ignored ? path : resolved).lexically_normal();
    };
    return normal(first) == normal(second);
}

}  // namespace

const char* usageText() {
    return "usage: orvix-cli (--host ADDR --port N | --ddns-server ADDR --ddns-port N --ddns-id ID)\n"
           "                 --user NAME [--password-file FILE | --password PW] [options]\n"
           "       orvix-cli --device NAME [options]\n"
           "  --device NAME             the recorder of that name in ORVIX's device list: its\n"
           "                            address, account, password (from the keyring when kept\n"
           "                            there) and stream type; --user, --stream and a password\n"
           "                            option given as well take precedence\n"
           "  --password-file FILE      read the password from the first line of FILE\n"
           "  --password PW             the password itself; every user of this machine can read\n"
           "                            it in the process list, so prefer --password-file, the\n"
           "                            ORVIX_PASSWORD environment variable or --device\n"
           "  ORVIX_PASSWORD            (environment) the password when no option gives one\n"
           "  --stream mpeg4|h264       the recorder's stream type (default mpeg4)\n"
           "  --channel LIST            channel 1-16 (default 1), or several: 1-4 or 1,3,5;\n"
           "                            then --frames counts per channel, --snapshot writes a\n"
           "                            mosaic and --record one track per channel\n"
           "  --iframe-only             ask for key pictures only\n"
           "  --frames N                stop after N decoded pictures (default 50)\n"
           "  --timeout SEC             give up after SEC seconds (default 20)\n"
           "  --snapshot FILE.png       write the last picture with its overlay\n"
           "  --record FILE.mp4         keep the received video, without re-encoding\n"
           "  --search \"YYYY-MM-DD HH:MM:SS\"  play back from that recorder time\n"
           "  --from TIME --to TIME     play back from TIME to TIME (as for --search) and stop\n"
           "                            there; with --record the file holds that span (one\n"
           "                            channel; --timeout defaults to 20 s plus the span)\n"
           "  --record-info             print the recorded range\n"
           "  --ptz ACTION[:PRESET]     stop up down left right goto set zoom-out zoom-in\n"
           "                            focus-in focus-out (or 0-10); goto/set take a preset 1-16\n"
           "  --alarm on:OUTPUT:SECONDS|off   alarm output (0 all; 0 seconds: no limit)\n"
           "  --verbose                 one line per picture\n"
           "  --reconnect               connect again by itself after the connection is lost\n"
           "                            (after 1, 2, 4, 8, 16, 30 s, then every 30 s); pictures\n"
           "                            count on, --record continues in NAME-2.mp4, NAME-3.mp4 ...\n"
           "  --max-reconnects N        with --reconnect: give up after N reconnects\n"
           "exit codes: 0 goal reached, 2 usage error, 3 login refused, 4 timeout, 5 network error\n";
}

std::optional<PtzRequest> parsePtz(const std::string& text, std::string& error) {
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    PtzRequest request;
    request.action = -1;
    for (const PtzName& entry : kPtzNames) {
        if (name == entry.name) request.action = entry.action;
    }
    if (request.action < 0) {
        if (const auto number = parseNumber(name, 0, 10)) request.action = static_cast<int>(*number);
    }
    if (request.action < 0) {
        error = "--ptz: unknown action \"" + name + "\"";
        return std::nullopt;
    }
    const bool takesPreset = request.action == 5 || request.action == 6;
    if (colon == std::string::npos) {
        if (takesPreset) {
            error = "--ptz: " + name + " needs a preset, e.g. " + name + ":1";
            return std::nullopt;
        }
        return request;
    }
    if (!takesPreset) {
        error = "--ptz: only goto and set take a preset";
        return std::nullopt;
    }
    const auto preset = parseNumber(std::string_view(text).substr(colon + 1), 1, 16);
    if (!preset) {
        error = "--ptz: the preset must be 1-16";
        return std::nullopt;
    }
    request.preset = static_cast<int32_t>(*preset);
    return request;
}

std::optional<AlarmRequest> parseAlarm(const std::string& text, std::string& error) {
    if (text == "off") return AlarmRequest{};
    error = "--alarm needs on:OUTPUT:SECONDS (output 0-128, seconds 0-86400) or off";
    if (text.rfind("on:", 0) != 0) return std::nullopt;
    const std::string rest = text.substr(3);
    const size_t colon = rest.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto output = parseNumber(std::string_view(rest).substr(0, colon), 0, 128);
    const auto seconds = parseNumber(std::string_view(rest).substr(colon + 1), 0, 86400);
    if (!output || !seconds) return std::nullopt;
    error.clear();
    return AlarmRequest{true, static_cast<int>(*output), static_cast<uint32_t>(*seconds)};
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    CliOptions& o = parsed.options;
    auto fail = [&parsed](std::string message) {
        parsed.outcome = ParsedCommandLine::Outcome::Error;
        parsed.error = std::move(message);
        return parsed;
    };
    RecorderOptionReader recorder;
    bool timeoutGiven = false;

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            parsed.outcome = ParsedCommandLine::Outcome::Help;
            return parsed;
        }
        if (option == "--iframe-only") {
            o.iframeOnly = true;
            continue;
        }
        if (option == "--record-info") {
            o.recordInfo = true;
            continue;
        }
        if (option == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (option == "--reconnect") {
            o.reconnect = true;
            continue;
        }
        static const char* const kWithValue[] = {
            "--channel", "--frames", "--timeout", "--snapshot", "--record", "--search", "--ptz", "--alarm",
            "--max-reconnects", "--from", "--to",
        };
        bool known = RecorderOptionReader::takesOption(option);
        for (const char* name : kWithValue) known = known || option == name;
        if (!known) return fail("unknown option \"" + option + "\"");
        if (i + 1 >= arguments.size()) return fail(option + " needs a value");
        const std::string& value = arguments[++i];

        if (RecorderOptionReader::takesOption(option)) {
            std::string error;
            if (!recorder.take(option, value, o, error)) return fail(error);
        } else if (option == "--channel") {
            const auto channels = parseChannelList(value);
            if (!channels) return fail("--channel must be channels 1-16, as 3, 1-4 or 1,3,5");
            o.channels = *channels;
            o.channel = channels->first() + 1;
        } else if (option == "--frames") {
            const auto frames = parseNumber(value, 1, 1000000);
            if (!frames) return fail("--frames must be 1-1000000");
            o.frames = static_cast<int>(*frames);
            o.framesGiven = true;
        } else if (option == "--timeout") {
            const auto seconds = parseNumber(value, 1, 86400);
            if (!seconds) return fail("--timeout must be 1-86400 seconds");
            o.timeoutSeconds = static_cast<int>(*seconds);
            timeoutGiven = true;
        } else if (option == "--snapshot") {
            if (value.empty()) return fail("--snapshot needs a file name");
            o.snapshotPath = value;
        } else if (option == "--record") {
            if (value.empty()) return fail("--record needs a file name");
            o.recordPath = value;
        } else if (option == "--search" || option == "--from") {
            o.searchTime = parseRecorderTime(value);
            if (!o.searchTime) return fail(option + " needs \"YYYY-MM-DD HH:MM:SS\" (1970-2105), not \"" + value + "\"");
        } else if (option == "--to") {
            o.spanEnd = parseRecorderTime(value);
            if (!o.spanEnd) return fail("--to needs \"YYYY-MM-DD HH:MM:SS\" (1970-2105), not \"" + value + "\"");
        } else if (option == "--max-reconnects") {
            const auto count = parseNumber(value, 1, 1000000);
            if (!count) return fail("--max-reconnects must be 1-1000000");
            o.maxReconnects = static_cast<int>(*count);
        } else if (option == "--ptz") {
            std::string error;
            o.ptz = parsePtz(value, error);
            if (!o.ptz) return fail(error);
        } else if (option == "--alarm") {
            std::string error;
            o.alarm = parseAlarm(value, error);
            if (!o.alarm) return fail(error);
        }
    }

    if (o.maxReconnects > 0 && !o.reconnect) return fail("--max-reconnects goes with --reconnect");
    if (o.spanEnd) {
        if (!o.searchTime || *o.spanEnd <= *o.searchTime) return fail("--to needs --from with an earlier time");
        if (o.channels.size() > 1) return fail("--to plays one channel");
        // The span plays in real time: the run may take that long.
        if (!timeoutGiven) o.timeoutSeconds += static_cast<int>(std::min<uint32_t>(*o.spanEnd - *o.searchTime, 86400));
    }
    std::string error;
    if (!recorder.finish(o, error)) return fail(error);
    if (!o.deviceName.empty()) {
        // The device list says where the recorder is.
        parsed.outcome = ParsedCommandLine::Outcome::Run;
        return parsed;
    }
    // One file cannot hold both: the snapshot would overwrite the recording.
    if (!o.snapshotPath.empty() && !o.recordPath.empty() && sameFile(o.snapshotPath, o.recordPath)) {
        return fail("--snapshot and --record name the same file");
    }
    parsed.outcome = ParsedCommandLine::Outcome::Run;
    return parsed;
}

}  // namespace orvix::cli
