// orvix-bridge: every channel of a recorder as an RTSP stream, fed from the
// program's own link without re-encoding. See bridgeUsageText().
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-thread-pool.h>

extern "C" {
#include <libavutil/log.h>
}

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "bridge/bridge_config.h"
#include "bridge/bridge_options.h"
#include "bridge/bridge_service.h"
#include "bridge/device_recorders.h"
#include "bridge/url_credentials.h"
#include "core/text_codec.h"
#include "frontend/credentials.h"
#include "frontend/recorder_options.h"
#include "store/device_store.h"
#include "link/reconnect_policy.h"
#include "store/device_store.h"

namespace {

using namespace orvix;
using namespace orvix::bridge;

// The recorders to serve: the one of the command line, or those of the
// device list. False with the reason when the list gives none.
bool recordersFromOptions(const BridgeOptions& options, std::vector<std::pair<std::string, RecorderOptions>>& recorders,
                          std::string& error) {
    if (!fromDeviceList(options)) {
        recorders.emplace_back(options.name, options.recorder);
        return true;
    }
    ListedRecorders listed;
    if (!recordersFromDeviceList(defaultDatabasePath(), DeviceSelection{options.devices, options.allDevices},
                                 listed, error)) {
        return false;
    }
    for (const std::string& skipped : listed.skipped) std::cerr << "orvix-bridge: left out: " << skipped << "\n";
    for (const ListedRecorder& r : listed.recorders) recorders.emplace_back(r.name, r.options);
    return true;
}

bool settingsFor(const BridgeOptions& options, BridgeSettings& settings, std::string& error) {
    if (!options.configFile.empty()) return loadBridgeConfig(options.configFile, settings, error);
    std::vector<std::pair<std::string, RecorderOptions>> recorders;
    return recordersFromOptions(options, recorders, error) && settingsFromOptions(options, recorders, settings, error);
}

// libavformat's own messages (the publishers'), errors only, without
// passwords.
void avLogLine(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char line[1024];
    int prefix = 1;
    av_log_format_line(context, level, format, arguments, line, sizeof line, &prefix);
    std::fputs(redactCredentials(line).c_str(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
    // The recorder's account and password go out in the locale's character
    // set, as orvix-cli and the program send them.
    useEnvironmentLocale();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedBridgeLine parsed = parseBridgeCommandLine(arguments);
    if (parsed.outcome == ParsedBridgeLine::Outcome::Help) {
        std::cout << bridgeUsageText();
        return 0;
    }
    if (parsed.outcome == ParsedBridgeLine::Outcome::Error) {
        std::cerr << "orvix-bridge: " << parsed.error << "\n" << bridgeUsageText();
        return 2;
    }
    const BridgeOptions& options = parsed.options;
    // SIGINT, SIGTERM and SIGHUP are taken by sigwait() below; every thread
    // made from here on inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    av_log_set_callback(avLogLine);
    if (!options.publishUrl.empty() && redactCredentials(options.publishUrl) != options.publishUrl) {
        std::cerr << "orvix-bridge: warning: the --publish URL holds a password, which every user of this machine "
                     "can read in the process list; use --publish-password-file\n";
    }
    // After the mask: reading the keyring may start threads of its own.
    BridgeSettings settings;
    {
        std::string error;
        if (!settingsFor(options, settings, error)) {
            std::cerr << "orvix-bridge: " << error << "\n";
            return 2;
        }
    }
    gst_init(nullptr, nullptr);

    int code = 0;
    {
        EventLog log;
        BridgeService bridge(settings, log);
        std::string error;
        if (!bridge.start(error)) {
            std::cerr << "orvix-bridge: " << error << "\n";
            code = 1;
        } else {
            for (const std::string& url : bridge.rtspUrls()) std::cout << "listening on " << url << "\n";
            if (!bridge.statusUrl().empty()) std::cout << "status on " << bridge.statusUrl() << "\n";
            std::cout.flush();
            for (int signal = 0; sigwait(&signals, &signal) == 0 && signal == SIGHUP;) {
                BridgeSettings next;
                if (options.configFile.empty()) {
                    log.event("SIGHUP: there is no configuration file to read again");
                } else if (!loadBridgeConfig(options.configFile, next, error)) {
                    log.event("SIGHUP: the configuration stays as it was: " + error);
                } else {
                    bridge.reload(std::move(next));
                }
            }
            log.event("stopping");
            bridge.stop();
        }
        // No client thread may outlive the recorders it refers to.
        gst_rtsp_thread_pool_cleanup();
    }
    gst_deinit();
    return code;
}
