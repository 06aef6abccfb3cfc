#include "bridge/bridge_config.h"

#include <glib.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "bridge/bridge_options.h"
#include "bridge/url_credentials.h"

namespace orvix::bridge {
namespace {

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

const std::set<std::string> kBridgeKeys = {"listen", "status-listen", "max-clients", "close-after", "join-wait"};
const std::set<std::string> kUserKeys = {"password-file", "password-credential"};
const std::set<std::string> kRecorderKeys = {"host", "port", "ddns-server", "ddns-port", "ddns-id", "user", "stream",
                                             "password-file", "password-credential", "channels", "publish",
                                             "publish-channels", "publish-password-file",
                                             "publish-password-credential"};

// One group's keys and values, checked against the keys it may have.
struct Group {
    std::string name;  // as in the file, "recorder lobby"
    std::map<std::string, std::string> values;

    const std::string* find(const std::string& key) const {
        const auto found = values.find(key);
        return found == values.end() ? nullptr : &found->second;
    }
};

bool readGroup(GKeyFile* file, const char* group, const std::set<std::string>& allowed, Group& result,
               std::string& error) {
    result.name = group;
    gsize count = 0;
    gchar** keys = g_key_file_get_keys(file, group, &count, nullptr);
    for (gsize i = 0; i < count; ++i) {
        const std::string key = keys[i];
        if (allowed.count(key) == 0) {
            error = "[" + result.name + "]: unknown key \"" + key + "\"";
            g_strfreev(keys);
            return false;
        }
        gchar* value = g_key_file_get_string(file, group, keys[i], nullptr);
        result.values[key] = value != nullptr ? value : "";
        g_free(value);
    }
    g_strfreev(keys);
    return true;
}

// "[group] key: problem".
std::string at(const Group& group, const std::string& key, const std::string& problem) {
    return "[" + group.name + "] " + key + ": " + problem;
}

// A secret from KEY-file or KEY-credential (one of them, or neither when
// `optional`).
bool readSecret(const Group& group, const std::string& key, bool optional, std::string& secret, std::string& path,
                std::string& error) {
    const std::string* file = group.find(key + "-file");
    const std::string* credential = group.find(key + "-credential");
    if (file != nullptr && credential != nullptr) {
        error = "[" + group.name + "]: give " + key + "-file or " + key + "-credential, not both";
        return false;
    }
    if (file == nullptr && credential == nullptr) {
        if (optional) return true;
        error = "[" + group.name + "]: " + key + "-file or " + key + "-credential is missing";
        return false;
    }
    if (credential != nullptr) {
        const char* directory = std::getenv("CREDENTIALS_DIRECTORY");
        if (directory == nullptr || *directory == '\0') {
            error = at(group, key + "-credential",
                       "no systemd credentials here (CREDENTIALS_DIRECTORY is not set; see LoadCredential=)");
            return false;
        }
        path = std::string(directory) + "/" + *credential;
    } else {
        path = *file;
    }
    if (!readSecretFile(path, secret, error)) {
        error = at(group, key + (file != nullptr ? "-file" : "-credential"), error);
        return false;
    }
    return true;
}

bool readSeconds(const Group& group, const std::string& key, int& seconds, std::string& error) {
    const std::string* text = group.find(key);
    if (text == nullptr) return true;
    const auto value = parseNumber(*text, 0, 86400);
    if (!value) {
        error = at(group, key, "must be 0-86400 seconds");
        return false;
    }
    seconds = static_cast<int>(*value);
    return true;
}

bool readBridge(const Group& group, BridgeSettings& settings, int& closeAfter, std::string& error) {
    if (const std::string* listen = group.find("listen")) {
        gchar** parts = g_strsplit_set(listen->c_str(), ";, ", -1);
        for (gchar** part = parts; *part != nullptr; ++part) {
            if (**part == '\0') continue;
            const auto address = parseListenAddress(*part);
            if (!address) {
                error = at(group, "listen", std::string("\"") + *part + "\" is no ADDRESS:PORT");
                g_strfreev(parts);
                return false;
            }
            settings.front.listen.push_back(*address);
        }
        g_strfreev(parts);
    }
    if (const std::string* status = group.find("status-listen")) {
        settings.status = parseListenAddress(*status);
        if (!settings.status) {
            error = at(group, "status-listen", "needs ADDRESS:PORT");
            return false;
        }
    }
    if (const std::string* clients = group.find("max-clients")) {
        const auto count = parseNumber(*clients, 1, 10000);
        if (!count) {
            error = at(group, "max-clients", "must be 1-10000");
            return false;
        }
        settings.front.maxConnections = static_cast<int>(*count);
    }
    int joinWait = 10;
    if (!readSeconds(group, "close-after", closeAfter, error) || !readSeconds(group, "join-wait", joinWait, error)) {
        return false;
    }
    settings.rtsp.joinWait = std::chrono::seconds(joinWait);
    return true;
}

bool readChannels(const Group& group, const std::string& key, std::vector<int>& channels, std::string& error) {
    const std::string* text = group.find(key);
    if (text == nullptr) return true;
    const auto parsed = parseChannelList(*text);
    if (!parsed) {
        error = at(group, key, "needs channels 1-16 such as 2, 1-4 or 1,3");
        return false;
    }
    channels = *parsed;
    return true;
}

bool readPublishing(const Group& group, ServedRecorder& served, std::string& error) {
    const std::string* url = group.find("publish");
    std::string passwordPath;
    if (!readSecret(group, "publish-password", true, served.publishPassword, passwordPath, error)) return false;
    if (url == nullptr) {
        if (!served.publishPassword.empty()) error = at(group, "publish-password", "goes with publish");
        return served.publishPassword.empty();
    }
    if (url->rfind("rtsp://", 0) != 0 && url->rfind("rtsps://", 0) != 0) {
        error = at(group, "publish", "needs an rtsp:// URL");
        return false;
    }
    served.publishUrl = *url;
    served.published = served.channels;
    if (!readChannels(group, "publish-channels", served.published, error)) return false;
    if (served.published.empty()) {
        error = at(group, "publish", "needs publish-channels (or channels) with the channels to push");
        return false;
    }
    if (served.published.size() > 1 && url->find("{ch}") == std::string::npos) {
        error = at(group, "publish", "several channels need {ch} in the URL");
        return false;
    }
    std::string ignored;
    if (!served.publishPassword.empty() && !withPassword(*url, served.publishPassword, ignored, error)) {
        error = at(group, "publish-password", error);
        return false;
    }
    return true;
}

bool readRecorder(const Group& group, const std::string& name, std::chrono::seconds closeAfter, ServedRecorder& served,
                  std::string& error) {
    RecorderOptionReader reader;
    RecorderOptions options;
    for (const char* key : {"host", "port", "ddns-server", "ddns-port", "ddns-id", "user", "stream"}) {
        const std::string* value = group.find(key);
        if (value != nullptr && !reader.take(std::string("--") + key, *value, options, error)) {
            error = at(group, key, error);
            return false;
        }
    }
    std::string passwordPath;
    if (!readSecret(group, "password", false, options.password, passwordPath, error)) return false;
    options.passwordGiven = true;
    if (!reader.finish(options, error)) {
        error = "[" + group.name + "]: " + error;
        return false;
    }
    if (!readChannels(group, "channels", served.channels, error) || !readPublishing(group, served, error)) return false;
    served.settings = recorderSettings(name, options, passwordPath, closeAfter);
    // The group as written, with what it depends on: equal definitions mean
    // nothing changed for this recorder.
    served.definition = "close-after=" + std::to_string(closeAfter.count()) + "\n";
    for (const auto& [key, value] : group.values) served.definition += key + "=" + value + "\n";
    served.definition += "publish-password#" + std::to_string(std::hash<std::string>()(served.publishPassword)) + "\n";
    return true;
}

}  // namespace

bool loadBridgeConfig(const std::string& path, BridgeSettings& settings, std::string& error) {
    KeyFile file(g_key_file_new(), g_key_file_free);
    GError* failure = nullptr;
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, &failure)) {
        error = path + ": " + failure->message;
        g_error_free(failure);
        return false;
    }
    settings = BridgeSettings();
    settings.front.throttle = ThrottlePolicy::fromEnvironment();
    int closeAfter = 30;
    gsize count = 0;
    gchar** groups = g_key_file_get_groups(file.get(), &count);
    std::vector<std::string> names(groups, groups + count);
    g_strfreev(groups);
    auto fail = [&](const std::string& why) {
        error = path + ": " + why;
        return false;
    };
    // [bridge] first: the recorders' timings depend on it.
    for (const std::string& name : names) {
        if (name != "bridge") continue;
        Group group;
        if (!readGroup(file.get(), name.c_str(), kBridgeKeys, group, error) ||
            !readBridge(group, settings, closeAfter, error)) {
            return fail(error);
        }
    }
    std::set<std::string> taken;
    for (const std::string& name : names) {
        if (name == "bridge") continue;
        Group group;
        if (name.rfind("user ", 0) == 0) {
            std::string secretPath;
            RtspUser user{name.substr(5), {}};
            if (!readGroup(file.get(), name.c_str(), kUserKeys, group, error) ||
                !readSecret(group, "password", false, user.password, secretPath, error)) {
                return fail(error);
            }
            settings.rtsp.users.push_back(user);
        } else if (name.rfind("recorder ", 0) == 0) {
            const std::string recorder = urlSafeName(name.substr(9));
            if (!taken.insert(recorder).second) return fail("[" + name + "]: a second recorder named " + recorder);
            ServedRecorder served;
            if (!readGroup(file.get(), name.c_str(), kRecorderKeys, group, error) ||
                !readRecorder(group, recorder, std::chrono::seconds(closeAfter), served, error)) {
                return fail(error);
            }
            settings.recorders.push_back(std::move(served));
        } else {
            return fail("[" + name + "]: unknown group (bridge, user NAME or recorder NAME)");
        }
    }
    if (settings.recorders.empty()) return fail("no [recorder NAME] group");
    if (settings.front.listen.empty()) settings.front.listen.push_back(ListenAddress{"127.0.0.1", 8554, false});
    return true;
}

}  // namespace orvix::bridge
