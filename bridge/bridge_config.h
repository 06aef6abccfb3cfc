// The bridge's configuration file: a GLib key file with a [bridge] group
// (listen addresses, status address, client limit, timings), one
// [user NAME] group per RTSP user and one [recorder NAME] group per
// recorder (address or DDNS id, account, password file or systemd
// credential, stream type, channels, publishing). README shows a whole one.
// Passwords come from files or from systemd credentials (LoadCredential=,
// in $CREDENTIALS_DIRECTORY), never from the file itself.
#pragma once

#include <string>

#include "bridge/bridge_settings.h"

namespace orvix::bridge {

// Reads `path` into `settings`; false with a one-line reason naming the
// group and key at fault.
bool loadBridgeConfig(const std::string& path, BridgeSettings& settings, std::string& error);

}  // namespace orvix::bridge
