#include "bridge/bridge_options.h"

#include <arpa/inet.h>

#include <fstream>
#include <set>

#include "frontend/credentials.h"

namespace orvix::bridge {
namespace {


bool isUnreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

const char* bridgeUsageText() {
    return "usage: orvix-bridge (--host ADDR --port N | --ddns-server ADDR --ddns-port N --ddns-id ID)\n"
           "                    --user NAME [--password-file FILE] [options]\n"
           "       orvix-bridge (--device NAME [--device NAME ...] | --all-devices) [options]\n"
           "Serves every channel of each recorder as rtsp://LISTEN/NAME/CH (CH 1-based), without\n"
           "re-encoding; a recorder is connected while clients watch.\n"
           "  --device NAME              a recorder of the device list, with its stored address,\n"
           "                             account, password and stream type (repeatable)\n"
           "  --all-devices              every recorder of the device list\n"
           "  --stream mpeg4|h264        the recorder's stream type (default mpeg4)\n"
           "  --name NAME                the first part of the paths (default: the host or DDNS id)\n"
           "  --listen ADDR:PORT         where the RTSP server listens (default 127.0.0.1:8554)\n"
           "  --channel LIST             the channels served, e.g. 2, 1-4 or 1,3 (default all)\n"
           "  --rtsp-user NAME           clients must log in (digest) as NAME ...\n"
           "  --rtsp-password-file FILE  ... with the password in FILE's first line\n"
           "  --status-port N            plain-text status on http://127.0.0.1:N/\n"
           "  --publish URL              push the channels to an RTSP server that accepts\n"
           "                             publishing, e.g. rtsp://server:8554/cams/{name}/{ch}\n"
           "A recorder connection carries every channel its clients watch. --publish pushes the\n"
           "channels of --channel; for several, the URL must hold {ch}.\n";
}

std::string urlSafeName(const std::string& text) {
    std::string name;
    bool gap = false;
    for (char c : text) {
        if (isUnreserved(c)) {
            if (gap && !name.empty()) name += '-';
            gap = false;
            name += c;
        } else {
            gap = true;
        }
    }
    // "." and ".." would be taken as steps in the path.
    if (name.find_first_not_of('.') == std::string::npos) return "recorder";
    return name;
}

std::optional<std::vector<int>> parseChannelList(const std::string& text) {
    std::set<int> channels;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string_view part =
            std::string_view(text).substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t dash = part.find('-');
        const auto first = parseNumber(part.substr(0, dash), 1, 16);
        const auto last = dash == std::string_view::npos ? first : parseNumber(part.substr(dash + 1), 1, 16);
        if (!first || !last || *last < *first) return std::nullopt;
        for (long long c = *first; c <= *last; ++c) channels.insert(static_cast<int>(c));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return std::vector<int>(channels.begin(), channels.end());
}

std::string publishUrlFor(const std::string& pattern, const std::string& name, int channel) {
    std::string url;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 6, "{name}") == 0) {
            url += name;
            i += 6;
        } else if (pattern.compare(i, 4, "{ch}") == 0) {
            url += std::to_string(channel);
            i += 4;
        } else {
            url += pattern[i++];
        }
    }
    return url;
}

bool readSecretFile(const std::string& path, std::string& secret, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::getline(in, secret);
    if (!secret.empty() && secret.back() == '\r') secret.pop_back();
    if (secret.empty()) {
        error = path + " holds no password on its first line";
        return false;
    }
    return true;
}

ParsedBridgeLine parseBridgeCommandLine(const std::vector<std::string>& arguments) {
    ParsedBridgeLine parsed;
    BridgeOptions& o = parsed.options;
    auto fail = [&parsed](std::string message) {
        parsed.outcome = ParsedBridgeLine::Outcome::Error;
        parsed.error = std::move(message);
        return parsed;
    };
    // The recorder's options go to orvix-cli's parser, which checks them.
    std::vector<std::string> recorderArguments;
    std::string rtspPasswordFile;
    bool haveName = false;

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            parsed.outcome = ParsedBridgeLine::Outcome::Help;
            return parsed;
        }
        if (option == "--all-devices") {
            o.allDevices = true;
            continue;
        }
        static const char* const kRecorderOptions[] = {"--host", "--port", "--ddns-server", "--ddns-port",
                                                        "--ddns-id", "--user", "--stream"};
        static const char* const kOwnOptions[] = {"--password-file", "--name", "--listen", "--channel",
                                                   "--rtsp-user", "--rtsp-password-file", "--status-port",
                                                   "--publish", "--close-after", "--join-wait", "--device"};
        bool forRecorder = false, own = false;
        for (const char* name : kRecorderOptions) forRecorder = forRecorder || option == name;
        for (const char* name : kOwnOptions) own = own || option == name;
        if (!forRecorder && !own) return fail("unknown option \"" + option + "\"");
        if (i + 1 >= arguments.size()) return fail(option + " needs a value");
        const std::string& value = arguments[++i];

        if (forRecorder) {
            recorderArguments.insert(recorderArguments.end(), {option, value});
        } else if (option == "--password-file") {
            std::string line, error, password;
            if (!readSecretFile(value, line, error)) return fail("--password-file: " + error);
            // A UTF-8 file whatever the locale; the recorder gets the locale's set.
            if (!passwordFileText(line, password)) return fail("--password-file: " + notCarried("password"));
            recorderArguments.insert(recorderArguments.end(), {"--password", password});
        } else if (option == "--device") {
            if (value.empty()) return fail("--device needs a recorder's name");
            o.devices.push_back(value);
        } else if (option == "--name") {
            if (value.empty()) return fail("--name needs a name");
            o.name = urlSafeName(value);
            haveName = true;
        } else if (option == "--listen") {
            const size_t colon = value.rfind(':');
            const auto port = colon == std::string::npos ? std::nullopt
                                                         : parseNumber(std::string_view(value).substr(colon + 1), 0, 65535);
            in_addr address{};
            const std::string host = colon == std::string::npos ? value : value.substr(0, colon);
            if (!port || inet_pton(AF_INET, host.c_str(), &address) != 1) {
                return fail("--listen needs an IPv4 ADDRESS:PORT, e.g. 0.0.0.0:8554");
            }
            o.listenAddress = host;
            o.listenPort = static_cast<int>(*port);
        } else if (option == "--channel") {
            const auto channels = parseChannelList(value);
            if (!channels) return fail("--channel needs channels 1-16 such as 2, 1-4 or 1,3");
            o.channels = *channels;
        } else if (option == "--rtsp-user") {
            if (value.empty()) return fail("--rtsp-user needs a name");
            o.rtspUser = value;
        } else if (option == "--rtsp-password-file") {
            rtspPasswordFile = value;
        } else if (option == "--status-port") {
            const auto port = parseNumber(value, 0, 65535);
            if (!port) return fail("--status-port must be a port number 0-65535");
            o.statusPort = static_cast<int>(*port);
        } else if (option == "--publish") {
            if (value.rfind("rtsp://", 0) != 0 && value.rfind("rtsps://", 0) != 0) {
                return fail("--publish needs an rtsp:// URL");
            }
            o.publishUrl = value;
        } else if (option == "--close-after" || option == "--join-wait") {
            const auto seconds = parseNumber(value, 0, 86400);
            if (!seconds) return fail(option + " must be 0-86400 seconds");
            (option == "--close-after" ? o.closeAfterSeconds : o.joinWaitSeconds) = static_cast<int>(*seconds);
        }
    }

    if (fromDeviceList(o)) {
        // Each recorder of the list brings its own address, account,
        // password, stream type and name.
        if (!recorderArguments.empty() || haveName) {
            return fail("--device and --all-devices take the recorders from the device list: "
                        "no --host, --ddns-..., --user, --password-file, --stream or --name with them");
        }
    } else {
        const ParsedRecorderOptions recorder = parseRecorderOptions(recorderArguments);
        if (!recorder.ok) return fail(recorder.error);
        o.recorder = recorder.options;
        if (!haveName) o.name = urlSafeName(o.recorder.useDdns ? o.recorder.ddnsId : o.recorder.host);
    }

    if (o.rtspUser.empty() != rtspPasswordFile.empty()) {
        return fail("--rtsp-user and --rtsp-password-file go together");
    }
    if (!rtspPasswordFile.empty()) {
        std::string error;
        if (!readSecretFile(rtspPasswordFile, o.rtspPassword, error)) return fail("--rtsp-password-file: " + error);
    }
    if (!o.publishUrl.empty()) {
        if (o.channels.empty()) return fail("--publish needs --channel with the channels to push");
        // Several channels pushed to one address would overwrite each other.
        if (o.channels.size() > 1 && o.publishUrl.find("{ch}") == std::string::npos) {
            return fail("--publish with several channels needs {ch} in the URL");
        }
    }
    parsed.outcome = ParsedBridgeLine::Outcome::Run;
    return parsed;
}

}  // namespace orvix::bridge
