// The command line of orvix-bridge: the recorder (given as orvix-cli takes
// it, with the password from a file), recorders of the device list, or a
// configuration file; where the RTSP server listens and how many clients it
// takes, which channels it serves, authentication, the status address and
// publishing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bridge/bridge_settings.h"
#include "bridge/listen_address.h"
#include "frontend/recorder_options.h"

namespace orvix::bridge {

struct BridgeOptions {
    // Address or DDNS, account, password and stream type, as orvix-cli
    // checks them (only those fields are used).
    RecorderOptions recorder;
    std::string passwordFile;             // read again for each connection
    std::string name;                     // URL-safe
    // Or the recorders of the device list: these by name, or all of them.
    std::vector<std::string> devices;
    bool allDevices = false;
    // Or everything from a configuration file (nothing else with it).
    std::string configFile;
    std::vector<ListenAddress> listen;    // 127.0.0.1:8554 unless given
    std::optional<ListenAddress> status;  // --status-listen, or --status-port on loopback
    int maxClients = 100;
    std::vector<int> channels;            // 1-based, ascending; every channel when empty
    std::string rtspUser;
    std::string rtspPassword;
    std::string publishUrl;               // with {name} and {ch}
    std::string publishPassword;          // from --publish-password-file
    int closeAfterSeconds = 30;           // connection kept this long after the last client
    int joinWaitSeconds = 10;             // a client waits this long for the recorder
};

inline bool fromDeviceList(const BridgeOptions& options) { return options.allDevices || !options.devices.empty(); }

struct ParsedBridgeLine {
    enum class Outcome { Run, Help, Error };
    Outcome outcome = Outcome::Error;
    BridgeOptions options;
    std::string error;  // one line, for Error
};

ParsedBridgeLine parseBridgeCommandLine(const std::vector<std::string>& arguments);

const char* bridgeUsageText();

// `text` as one part of a URL path: letters, digits and "-._~" stay, runs of
// anything else become one "-"; never empty, "." or "..".
std::string urlSafeName(const std::string& text);

// "3", "1-4", "1,3,5-6": channels 1-16, ascending without repeats; nullopt
// for anything else.
std::optional<std::vector<int>> parseChannelList(const std::string& text);

// The publish URL for one channel: {name} and {ch} (1-based) replaced.
std::string publishUrlFor(const std::string& pattern, const std::string& name, int channel);

// The first line of a file without its line end; false when it cannot be
// read or is empty.
bool readSecretFile(const std::string& path, std::string& secret, std::string& error);

// What the bridge serves for `options` and its recorders (by name); false
// with the reason when the publishing URL cannot take its password.
bool settingsFromOptions(const BridgeOptions& options,
                         const std::vector<std::pair<std::string, RecorderOptions>>& recorders, BridgeSettings& settings,
                         std::string& error);

}  // namespace orvix::bridge
