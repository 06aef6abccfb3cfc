#include "bridge/bridge_settings.h"

#include <sys/stat.h>

#include "bridge/bridge_options.h"
#include "core/text_codec.h"

namespace orvix::bridge {

std::string BridgeSettings::restartOnly() const {
    std::string text = "listen";
    for (const ListenAddress& address : front.listen) text += " " + address.text();
    text += "; max-clients " + std::to_string(front.maxConnections);
    text += "; status " + (status ? status->text() : std::string("none"));
    text += "; join-wait " + std::to_string(rtsp.joinWait.count()) + " ms";
    return text;
}

RecorderSettings recorderSettings(const std::string& name, const RecorderOptions& recorder,
                                  const std::string& passwordFile, std::chrono::seconds closeAfter) {
    RecorderSettings settings;
    settings.name = name;
    settings.target = recorder.useDdns ? "DDNS id " + recorder.ddnsId + " at " + recorder.ddnsServer + ":" +
                                             std::to_string(recorder.ddnsPort)
                                       : recorder.host + ":" + std::to_string(recorder.port);
    settings.fillRecord = [recorder, name, passwordFile](DeviceRecord& record) {
        RecorderOptions now = recorder;
        std::string password, ignored;
        // A file that cannot be read now leaves the password it had.
        if (!passwordFile.empty() && readSecretFile(passwordFile, password, ignored)) now.password = password;
        fillRecord(record, now);
        setText(record.name, fromUtf8(name));
    };
    if (!passwordFile.empty()) {
        settings.credentialStamp = [passwordFile] {
            struct stat about {};
            if (stat(passwordFile.c_str(), &about) != 0) return std::string("missing");
            return std::to_string(about.st_ino) + ":" + std::to_string(about.st_size) + ":" +
                   std::to_string(about.st_mtim.tv_sec) + "." + std::to_string(about.st_mtim.tv_nsec);
        };
    }
    settings.closeAfter = closeAfter;
    // A connection lost while clients watch is made again, with no limit on
    // the attempts: it closes anyway once no client is left.
    settings.reconnect = reconnectPolicyFromEnvironment(true);
    return settings;
}

}  // namespace orvix::bridge
