#include "frontend/recorder_options.h"

#include <charconv>
#include <cstdio>
#include <system_error>

#include "core/device_record.h"
#include "core/text_codec.h"
#include "media/calendar_time.h"

namespace orvix {
namespace {

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool RecorderOptionReader::takesOption(const std::string& option) {
    static const char* const kOptions[] = {
        "--host", "--port", "--ddns-server", "--ddns-port", "--ddns-id", "--user", "--password",
        "--password-file", "--device", "--stream",
    };
    for (const char* name : kOptions) {
        if (option == name) return true;
    }
    return false;
}

bool RecorderOptionReader::take(const std::string& option, const std::string& value, RecorderOptions& o,
                                std::string& error) {
    auto fail = [&error](std::string message) {
        error = std::move(message);
        return false;
    };
    if (option == "--host") {
        if (value.empty()) return fail("--host needs an address");
        o.host = value;
        haveHost_ = true;
    } else if (option == "--port" || option == "--ddns-port") {
        const auto port = parseNumber(value, 1, 65535);
        if (!port) return fail(option + " must be a port number 1-65535");
        (option == "--port" ? o.port : o.ddnsPort) = static_cast<int>(*port);
        (option == "--port" ? havePort_ : haveDdnsPort_) = true;
    } else if (option == "--ddns-server") {
        if (value.empty()) return fail("--ddns-server needs an address");
        o.ddnsServer = value;
        haveServer_ = true;
    } else if (option == "--ddns-id") {
        if (value.empty()) return fail("--ddns-id needs an id");
        o.ddnsId = value;
        haveId_ = true;
    } else if (option == "--user") {
        o.user = value;
        haveUser_ = true;
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
    }
    return true;
}

bool RecorderOptionReader::finish(RecorderOptions& o, std::string& error) const {
    auto fail = [&error](std::string message) {
        error = std::move(message);
        return false;
    };
    const bool direct = haveHost_ || havePort_;
    const bool ddns = haveServer_ || haveDdnsPort_ || haveId_;
    if (o.passwordGiven && !o.passwordFile.empty()) return fail("give either --password or --password-file, not both");
    o.userGiven = haveUser_;
    if (!o.deviceName.empty()) {
        // The device list says where the recorder is.
        if (direct || ddns) {
            return fail("--device takes the address from the device list: leave out --host, --port and --ddns-*");
        }
        return true;
    }
    if (direct && ddns) return fail("give either --host/--port or the --ddns-* options, not both");
    if (direct && !(haveHost_ && havePort_)) return fail("--host and --port go together");
    if (ddns && !(haveServer_ && haveDdnsPort_ && haveId_)) {
        return fail("--ddns-server, --ddns-port and --ddns-id go together");
    }
    if (!direct && !ddns) return fail("no recorder given: use --host and --port, or the --ddns-* options");
    if (!haveUser_) return fail("--user is missing");
    o.useDdns = ddns;
    return true;
}

ParsedRecorderOptions parseRecorderOptions(const std::vector<std::string>& arguments) {
    ParsedRecorderOptions parsed;
    RecorderOptionReader reader;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (!RecorderOptionReader::takesOption(option)) {
            parsed.error = "unknown option \"" + option + "\"";
            return parsed;
        }
        if (i + 1 >= arguments.size()) {
            parsed.error = option + " needs a value";
            return parsed;
        }
        if (!reader.take(option, arguments[++i], parsed.options, parsed.error)) return parsed;
    }
    parsed.ok = reader.finish(parsed.options, parsed.error);
    return parsed;
}

void fillRecord(DeviceRecord& record, const RecorderOptions& options) {
    record.id = 1;
    setText(record.name, u"orvix-cli");
    // Command-line text is in the locale's character set.
    setText(record.account, fromNarrow(options.user));
    setText(record.password, fromNarrow(options.password));
    record.modelIndex.store(0);  // the recorder's description sets it
    record.framingKind.store(options.framingKind);
    if (options.useDdns) {
        record.useDdns = 1;
        record.useStatic = 0;
        setText(record.ddnsServer, fromUtf8(options.ddnsServer));
        record.ddnsPort = static_cast<uint16_t>(options.ddnsPort);
        setText(record.ddnsId, fromNarrow(options.ddnsId));
    } else {
        record.useDdns = 0;
        record.useStatic = 1;
        setText(record.address, fromUtf8(options.host));
        record.port = static_cast<uint16_t>(options.port);
    }
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

}  // namespace orvix
