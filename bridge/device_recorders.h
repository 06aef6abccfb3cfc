// The recorders orvix-bridge serves from the device list: those named with
// --device, or every one with --all-devices. Each gets its address, account,
// password (from the keyring where the store keeps it) and stream type as
// orvix-cli --device takes them, and a URL-safe name of its own.
#pragma once

#include <string>
#include <vector>

#include "frontend/recorder_options.h"

namespace orvix::bridge {

struct ListedRecorder {
    std::string name;  // URL-safe, unique among the recorders served
    RecorderOptions options;
};

struct DeviceSelection {
    std::vector<std::string> names;  // --device, in the order given
    bool all = false;                // --all-devices
};

struct ListedRecorders {
    std::vector<ListedRecorder> recorders;
    // With --all-devices, one line per recorder that cannot be served (no
    // address, password not to be had), which is left out.
    std::vector<std::string> skipped;
};

// False with a one-line reason when the list cannot be read, a named
// recorder is missing, ambiguous or unusable, or nothing is left to serve.
bool recordersFromDeviceList(const std::string& databasePath, const DeviceSelection& selection,
                             ListedRecorders& result, std::string& error);

}  // namespace orvix::bridge
