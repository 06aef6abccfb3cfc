// What a running bridge serves, however it was told (the command line, the
// device list or a configuration file): its recorders with their channels
// and publishing, the RTSP front's addresses and limits, the RTSP users and
// the status address.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "bridge/listen_address.h"
#include "bridge/rtsp_front.h"
#include "bridge/rtsp_server.h"
#include "frontend/recorder_options.h"
#include "session/pooled_recorder.h"

namespace orvix::bridge {

struct ServedRecorder {
    RecorderSettings settings;     // its name is the first part of its paths
    std::vector<int> channels;     // served, 1-based; every channel when empty
    std::string publishUrl;        // with {name} and {ch}, without a password; empty: none
    std::string publishPassword;   // put into the publish URL for the server only
    std::vector<int> published;    // channels pushed, 1-based
    // The whole of its configuration: a reload leaves a recorder whose
    // definition did not change alone.
    std::string definition;
};

struct BridgeSettings {
    std::vector<ServedRecorder> recorders;
    FrontSettings front;  // listen addresses and limits
    RtspSettings rtsp;    // join wait and users
    std::optional<ListenAddress> status;
    // The settings only a restart changes, in words; a reload that would
    // change them says so.
    std::string restartOnly() const;
};

// The pool's settings for a recorder: its address and account from
// `recorder`, and its password from `passwordFile` when given, read again
// for each connection (a change lets a refused login be tried at once), else
// from `recorder`.
RecorderSettings recorderSettings(const std::string& name, const RecorderOptions& recorder,
                                  const std::string& passwordFile, std::chrono::seconds closeAfter);

}  // namespace orvix::bridge
