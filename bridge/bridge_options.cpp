#include "bridge/bridge_options.h"


#include <fstream>
#include <set>

#include "bridge/url_credentials.h"
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
           "       orvix-bridge --config FILE\n"
           "Serves every channel of each recorder as rtsp://LISTEN/NAME/CH (CH 1-based), without\n"
           "re-encoding; a recorder is connected while clients watch.\n"
           "  --config FILE              everything from a configuration file (see README);\n"
           "                             SIGHUP reads it again\n"
           "  --device NAME              a recorder of the device list, with its stored address,\n"
           "                             account, password and stream type (repeatable)\n"
           "  --all-devices              every recorder of the device list\n"
           "  --password-file FILE       the recorder's password, on the file's first line (read\n"
           "                             again for each connection)\n"
           "  --stream mpeg4|h264        the recorder's stream type (default mpeg4)\n"
           "  --name NAME                the first part of the paths (default: the host or DDNS id)\n"
           "  --listen ADDR:PORT         where the RTSP server listens, IPv4 or [IPv6]; repeatable\n"
           "                             (default 127.0.0.1:8554)\n"
           "  --max-clients N            client connections at a time (default 100)\n"
           "  --channel LIST             the channels served, e.g. 2, 1-4 or 1,3 (default all)\n"
           "  --rtsp-user NAME           clients must log in (digest) as NAME ...\n"
           "  --rtsp-password-file FILE  ... with the password in FILE's first line\n"
           "  --status-listen ADDR:PORT  status page, /paths, /metrics and /healthz over HTTP\n"
           "  --status-port N            the same on 127.0.0.1:N\n"
           "  --publish URL              push the channels to an RTSP server that accepts\n"
           "                             publishing, e.g. rtsp://USER@server:8554/cams/{name}/{ch}\n"
           "  --publish-password-file FILE  the publishing server's password, for the URL's USER\n"
           "  --close-after SEC          close a recorder's connection SEC seconds after its last\n"
           "                             client left (default 30)\n"
           "  --join-wait SEC            a client waits at most SEC seconds for its recorder's\n"
           "                             pictures, then gets 503 (default 10)\n"
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

namespace {

// The options that take a value, beside the recorder's.
bool takesValue(const std::string& option) {
    static const char* const kOwnOptions[] = {
        "--password-file", "--name", "--listen", "--channel", "--rtsp-user", "--rtsp-password-file",
        "--status-port", "--status-listen", "--publish", "--publish-password-file", "--close-after",
        "--join-wait", "--device", "--max-clients", "--config"};
    for (const char* name : kOwnOptions) {
        if (option == name) return true;
    }
    return false;
}

// One option of the bridge's own with its value; false with the reason.
bool takeOwn(const std::string& option, const std::string& value, BridgeOptions& o, std::string& rtspPasswordFile,
             std::string& publishPasswordFile, std::string& error) {
    auto fail = [&error](std::string message) {
        error = std::move(message);
        return false;
    };
    if (option == "--device") {
        if (value.empty()) return fail("--device needs a recorder's name");
        o.devices.push_back(value);
    } else if (option == "--config") {
        if (value.empty()) return fail("--config needs a file name");
        o.configFile = value;
    } else if (option == "--name") {
        if (value.empty()) return fail("--name needs a name");
        o.name = urlSafeName(value);
    } else if (option == "--listen" || option == "--status-listen") {
        const auto address = parseListenAddress(value);
        if (!address) return fail(option + " needs ADDRESS:PORT, e.g. 0.0.0.0:8554 or [::]:8554");
        if (option == "--listen") {
            o.listen.push_back(*address);
        } else {
            o.status = *address;
        }
    } else if (option == "--channel") {
        const auto channels = parseChannelList(value);
        if (!channels) return fail("--channel needs channels 1-16 such as 2, 1-4 or 1,3");
        o.channels = *channels;
    } else if (option == "--rtsp-user") {
        if (value.empty()) return fail("--rtsp-user needs a name");
        o.rtspUser = value;
    } else if (option == "--rtsp-password-file") {
        rtspPasswordFile = value;
    } else if (option == "--publish-password-file") {
        publishPasswordFile = value;
    } else if (option == "--status-port") {
        const auto port = parseNumber(value, 0, 65535);
        if (!port) return fail("--status-port must be a port number 0-65535");
        o.status = ListenAddress{"127.0.0.1", static_cast<int>(*port), false};
    } else if (option == "--publish") {
        if (value.rfind("rtsp://", 0) != 0 && value.rfind("rtsps://", 0) != 0) {
            return fail("--publish needs an rtsp:// URL");
        }
        o.publishUrl = value;
    } else if (option == "--max-clients") {
        const auto count = parseNumber(value, 1, 10000);
        if (!count) return fail("--max-clients must be 1-10000");
        o.maxClients = static_cast<int>(*count);
    } else if (option == "--close-after" || option == "--join-wait") {
        const auto seconds = parseNumber(value, 0, 86400);
        if (!seconds) return fail(option + " must be 0-86400 seconds");
        (option == "--close-after" ? o.closeAfterSeconds : o.joinWaitSeconds) = static_cast<int>(*seconds);
    }
    return true;
}

// The checks of the options as a whole, secrets read.
bool finishOwn(BridgeOptions& o, const std::string& rtspPasswordFile, const std::string& publishPasswordFile,
               std::string& error) {
    if (o.rtspUser.empty() != rtspPasswordFile.empty()) {
        error = "--rtsp-user and --rtsp-password-file go together";
        return false;
    }
    if (!rtspPasswordFile.empty() && !readSecretFile(rtspPasswordFile, o.rtspPassword, error)) {
        error = "--rtsp-password-file: " + error;
        return false;
    }
    if (!publishPasswordFile.empty()) {
        if (o.publishUrl.empty()) {
            error = "--publish-password-file goes with --publish";
            return false;
        }
        if (!readSecretFile(publishPasswordFile, o.publishPassword, error)) {
            error = "--publish-password-file: " + error;
            return false;
        }
    }
    if (!o.publishUrl.empty()) {
        if (o.channels.empty()) {
            error = "--publish needs --channel with the channels to push";
            return false;
        }
        // Several channels pushed to one address would overwrite each other.
        if (o.channels.size() > 1 && o.publishUrl.find("{ch}") == std::string::npos) {
            error = "--publish with several channels needs {ch} in the URL";
            return false;
        }
    }
    if (o.listen.empty()) o.listen.push_back(ListenAddress{"127.0.0.1", 8554, false});
    return true;
}

}  // namespace

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
    std::string rtspPasswordFile, publishPasswordFile;
    size_t given = 0;

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            parsed.outcome = ParsedBridgeLine::Outcome::Help;
            return parsed;
        }
        ++given;
        if (option == "--all-devices") {
            o.allDevices = true;
            continue;
        }
        static const char* const kRecorderOptions[] = {"--host", "--port", "--ddns-server", "--ddns-port",
                                                        "--ddns-id", "--user", "--stream"};
        bool forRecorder = false;
        for (const char* name : kRecorderOptions) forRecorder = forRecorder || option == name;
        if (!forRecorder && !takesValue(option)) return fail("unknown option \"" + option + "\"");
        if (i + 1 >= arguments.size()) return fail(option + " needs a value");
        const std::string& value = arguments[++i];
        std::string error;
        if (forRecorder) {
            recorderArguments.insert(recorderArguments.end(), {option, value});
        } else if (option == "--password-file") {
            std::string line, password;
            if (!readSecretFile(value, line, error)) return fail("--password-file: " + error);
            // A UTF-8 file whatever the locale; the recorder gets the locale's set.
            if (!passwordFileText(line, password)) return fail("--password-file: " + notCarried("password"));
            recorderArguments.insert(recorderArguments.end(), {"--password", password});
            o.passwordFile = value;
        } else if (!takeOwn(option, value, o, rtspPasswordFile, publishPasswordFile, error)) {
            return fail(error);
        }
    }

    if (!o.configFile.empty()) {
        if (given > 1) return fail("--config takes everything from the file: no other option with it");
        parsed.outcome = ParsedBridgeLine::Outcome::Run;
        return parsed;
    }
    if (fromDeviceList(o)) {
        // Each recorder of the list brings its own address, account,
        // password, stream type and name.
        if (!recorderArguments.empty() || !o.name.empty()) {
            return fail("--device and --all-devices take the recorders from the device list: "
                        "no --host, --ddns-..., --user, --password-file, --stream or --name with them");
        }
    } else {
        const ParsedRecorderOptions recorder = parseRecorderOptions(recorderArguments);
        if (!recorder.ok) return fail(recorder.error);
        o.recorder = recorder.options;
        if (o.name.empty()) o.name = urlSafeName(o.recorder.useDdns ? o.recorder.ddnsId : o.recorder.host);
    }
    std::string error;
    if (!finishOwn(o, rtspPasswordFile, publishPasswordFile, error)) return fail(error);
    parsed.outcome = ParsedBridgeLine::Outcome::Run;
    return parsed;
}

bool settingsFromOptions(const BridgeOptions& options,
                         const std::vector<std::pair<std::string, RecorderOptions>>& recorders, BridgeSettings& settings,
                         std::string& error) {
    settings.front.listen = options.listen;
    settings.front.maxConnections = options.maxClients;
    settings.front.throttle = ThrottlePolicy::fromEnvironment();
    settings.status = options.status;
    settings.rtsp.joinWait = std::chrono::seconds(options.joinWaitSeconds);
    if (!options.rtspUser.empty()) settings.rtsp.users.push_back({options.rtspUser, options.rtspPassword});
    for (const auto& [name, recorder] : recorders) {
        ServedRecorder served;
        served.settings = recorderSettings(name, recorder, fromDeviceList(options) ? std::string() : options.passwordFile,
                                           std::chrono::seconds(options.closeAfterSeconds));
        served.channels = options.channels;
        served.publishUrl = options.publishUrl;
        served.published = options.channels;
        served.publishPassword = options.publishPassword;
        served.definition = name;
        if (!options.publishPassword.empty()) {
            std::string ignored;
            if (!withPassword(options.publishUrl, options.publishPassword, ignored, error)) {
                error = "--publish-password-file: " + error;
                return false;
            }
        }
        settings.recorders.push_back(std::move(served));
    }
    return true;
}

}  // namespace orvix::bridge
