#include "tools/cli/cli_options.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "video/calendar_time.h"

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

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

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

std::optional<uint32_t> parseRecorderTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tail = 0;
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':') {
        return std::nullopt;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 4 || i == 7 || i == 10 || i == 13 || i == 16) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second,
                    &tail) != 6) {
        return std::nullopt;
    }
    // Unsigned 32-bit seconds end in February 2106.
    if (year < 1970 || year > 2105 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return calendarToSeconds(year, month, day, hour, minute, second);
}

std::string formatRecorderTime(uint32_t seconds) {
    // Computed here rather than with secondsToCalendar, whose signed input
    // ends in 2038.
    uint64_t days = seconds / 86400;
    const uint32_t rest = seconds % 86400;
    int year = 1970;
    while (days >= static_cast<uint64_t>(isLeap(year) ? 366 : 365)) {
        days -= isLeap(year) ? 366 : 365;
        ++year;
    }
    int month = 1;
    while (days >= static_cast<uint64_t>(daysInMonth(year, month))) {
        days -= static_cast<uint64_t>(daysInMonth(year, month));
        ++month;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02u:%02u:%02u", year, month, static_cast<int>(days) + 1,
                  rest / 3600, rest % 3600 / 60, rest % 60);
    return text;
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

std::optional<long long> parseNumber(std::string_view text, long long min, long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    CliOptions& o = parsed.options;
    auto fail = [&parsed](std::string message) {
        parsed.outcome = ParsedCommandLine::Outcome::Error;
        parsed.error = std::move(message);
        return parsed;
    };
    bool haveHost = false, havePort = false, haveServer = false, haveDdnsPort = false, haveId = false,
         haveUser = false;

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
            "--host", "--port", "--ddns-server", "--ddns-port", "--ddns-id", "--user", "--password",
            "--password-file", "--device", "--stream", "--channel", "--frames", "--timeout", "--snapshot",
            "--record", "--search", "--ptz", "--alarm", "--max-reconnects",
        };
        bool known = false;
        for (const char* name : kWithValue) known = known || option == name;
        if (!known) return fail("unknown option \"" + option + "\"");
        if (i + 1 >= arguments.size()) return fail(option + " needs a value");
        const std::string& value = arguments[++i];

        if (option == "--host") {
            if (value.empty()) return fail("--host needs an address");
            o.host = value;
            haveHost = true;
        } else if (option == "--port" || option == "--ddns-port") {
            const auto port = parseNumber(value, 1, 65535);
            if (!port) return fail(option + " must be a port number 1-65535");
            (option == "--port" ? o.port : o.ddnsPort) = static_cast<int>(*port);
            (option == "--port" ? havePort : haveDdnsPort) = true;
        } else if (option == "--ddns-server") {
            if (value.empty()) return fail("--ddns-server needs an address");
            o.ddnsServer = value;
            haveServer = true;
        } else if (option == "--ddns-id") {
            if (value.empty()) return fail("--ddns-id needs an id");
            o.ddnsId = value;
            haveId = true;
        } else if (option == "--user") {
            o.user = value;
            haveUser = true;
        } else if (option == "--password") {
            o.password = value;
            o.passwordGiven = true;
        } else if (option == "--password-file") {
            if (value.empty()) return fail("--password-file needs a file name");
            o.passwordFile = value;
        } else if (option == "--device") {
            if (value.empty()) return fail("--device needs a recorder name");
            o.deviceName = value;
        } else if (option == "--stream") {
            if (value == "mpeg4") {
                o.framingKind = 0;
            } else if (value == "h264") {
                o.framingKind = 1;
            } else {
                return fail("--stream must be mpeg4 or h264");
            }
            o.streamGiven = true;
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
        } else if (option == "--snapshot") {
            if (value.empty()) return fail("--snapshot needs a file name");
            o.snapshotPath = value;
        } else if (option == "--record") {
            if (value.empty()) return fail("--record needs a file name");
            o.recordPath = value;
        } else if (option == "--search") {
            o.searchTime = parseRecorderTime(value);
            if (!o.searchTime) return fail("--search needs \"YYYY-MM-DD HH:MM:SS\" (1970-2105), not \"" + value + "\"");
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
    const bool direct = haveHost || havePort;
    const bool ddns = haveServer || haveDdnsPort || haveId;
    if (o.passwordGiven && !o.passwordFile.empty()) return fail("give either --password or --password-file, not both");
    o.userGiven = haveUser;
    if (!o.deviceName.empty()) {
        // The device list says where the recorder is.
        if (direct || ddns) {
            return fail("--device takes the address from the device list: leave out --host, --port and --ddns-*");
        }
        parsed.outcome = ParsedCommandLine::Outcome::Run;
        return parsed;
    }
    if (direct && ddns) return fail("give either --host/--port or the --ddns-* options, not both");
    if (direct && !(haveHost && havePort)) return fail("--host and --port go together");
    if (ddns && !(haveServer && haveDdnsPort && haveId)) {
        return fail("--ddns-server, --ddns-port and --ddns-id go together");
    }
    if (!direct && !ddns) return fail("no recorder given: use --host and --port, or the --ddns-* options");
    if (!haveUser) return fail("--user is missing");
    // One file cannot hold both: the snapshot would overwrite the recording.
    if (!o.snapshotPath.empty() && !o.recordPath.empty() && sameFile(o.snapshotPath, o.recordPath)) {
        return fail("--snapshot and --record name the same file");
    }
    o.useDdns = ddns;
    parsed.outcome = ParsedCommandLine::Outcome::Run;
    return parsed;
}

}  // namespace orvix::cli
