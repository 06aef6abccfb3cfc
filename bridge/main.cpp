// orvix-bridge: every channel of a recorder as an RTSP stream, fed from the
// program's own link without re-encoding. See bridgeUsageText().
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-thread-pool.h>

#include <pthread.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "bridge/bridge_options.h"
#include "bridge/bridge_service.h"
#include "bridge/device_recorders.h"
#include "core/text_codec.h"
#include "frontend/credentials.h"
#include "frontend/recorder_options.h"
#include "store/device_store.h"
#include "link/reconnect_policy.h"
#include "store/device_store.h"

namespace {

using namespace orvix;
using namespace orvix::bridge;

RecorderSettings settingsFor(const std::string& name, const RecorderOptions& r, const BridgeOptions& options) {
    RecorderSettings recorder;
    recorder.name = name;
    recorder.target = r.useDdns ? "DDNS id " + r.ddnsId + " at " + r.ddnsServer + ":" + std::to_string(r.ddnsPort)
                                : r.host + ":" + std::to_string(r.port);
    recorder.fillRecord = [r, name](DeviceRecord& record) {
        fillRecord(record, r);
        setText(record.name, fromUtf8(name));
    };
    recorder.closeAfter = std::chrono::seconds(options.closeAfterSeconds);
    // A connection lost while clients watch is made again, with no limit
    // on the attempts: it closes anyway once no client is left.
    recorder.reconnect = reconnectPolicyFromEnvironment(true);
    return recorder;
}

// The recorders to serve: the one of the command line, or those of the
// device list. False with the reason when the list gives none.
bool recordersFromOptions(const BridgeOptions& options, std::vector<RecorderSettings>& recorders,
                          std::string& error) {
    if (!fromDeviceList(options)) {
        recorders.push_back(settingsFor(options.name, options.recorder, options));
        return true;
    }
    ListedRecorders listed;
    if (!recordersFromDeviceList(defaultDatabasePath(), DeviceSelection{options.devices, options.allDevices},
                                 listed, error)) {
        return false;
    }
    for (const std::string& skipped : listed.skipped) std::cerr << "orvix-bridge: left out: " << skipped << "\n";
    for (const ListedRecorder& r : listed.recorders) recorders.push_back(settingsFor(r.name, r.options, options));
    return true;
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
    // SIGINT and SIGTERM are taken by sigwait() below; every thread made
    // from here on inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // After the mask: reading the keyring may start threads of its own.
    std::vector<RecorderSettings> recorders;
    {
        std::string error;
        if (!recordersFromOptions(options, recorders, error)) {
            std::cerr << "orvix-bridge: " << error << "\n";
            return 2;
        }
    }
    gst_init(nullptr, nullptr);

    BridgeSettings settings;
    settings.recorders = std::move(recorders);
    settings.rtsp.address = options.listenAddress;
    settings.rtsp.port = options.listenPort;
    settings.rtsp.channels = options.channels;
    settings.rtsp.user = options.rtspUser;
    settings.rtsp.password = options.rtspPassword;
    settings.rtsp.joinWait = std::chrono::seconds(options.joinWaitSeconds);
    settings.statusPort = options.statusPort;
    settings.publishUrl = options.publishUrl;
    settings.published = options.channels;

    int code = 0;
    {
        EventLog log;
        BridgeService bridge(settings, log);
        std::string error;
        if (!bridge.start(error)) {
            std::cerr << "orvix-bridge: " << error << "\n";
            code = 1;
        } else {
            std::cout << "listening on rtsp://" << options.listenAddress << ":" << bridge.rtspPort() << "/\n";
            if (options.statusPort) std::cout << "status on http://127.0.0.1:" << bridge.statusPort() << "/\n";
            std::cout.flush();
            int signal = 0;
            sigwait(&stopSignals, &signal);
            log.event("stopping");
            bridge.stop();
        }
        // No client thread may outlive the recorders it refers to.
        gst_rtsp_thread_pool_cleanup();
    }
    gst_deinit();
    return code;
}
