#include "tests/store/keyring_support.h"

#include <libsecret/secret.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/store/store_fixture.h"

namespace orvix {
namespace {

SecretService* service() {
    GError* error = nullptr;
    SecretService* found =
        secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (error != nullptr) {
        ADD_FAILURE() << "no Secret Service: " << error->message;
        g_error_free(error);
    }
    return found;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string selfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

}  // namespace

std::vector<KeyringItem> orvixKeyringItems() {
    std::vector<KeyringItem> items;
    SecretService* secrets = service();
    if (secrets == nullptr) return items;
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("application"), const_cast<char*>("orvix"));
    GError* error = nullptr;
    const auto flags =
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    GList* found = secret_service_search_sync(secrets, nullptr, attributes, flags, nullptr, &error);
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        ADD_FAILURE() << "keyring search failed: " << error->message;
        g_error_free(error);
    }
    for (GList* entry = found; entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        KeyringItem out;
        gchar* label = secret_item_get_label(item);
        out.label = label != nullptr ? label : "";
        g_free(label);
        GHashTable* itemAttributes = secret_item_get_attributes(item);
        GHashTableIter iterator;
        gpointer key = nullptr, value = nullptr;
        g_hash_table_iter_init(&iterator, itemAttributes);
        while (g_hash_table_iter_next(&iterator, &key, &value)) {
            out.attributes[static_cast<const char*>(key)] = static_cast<const char*>(value);
        }
        g_hash_table_unref(itemAttributes);
        out.locked = secret_item_get_locked(item);
        if (SecretValue* secret = secret_item_get_secret(item)) {
            const gchar* text = secret_value_get_text(secret);
            out.secret = text != nullptr ? text : "";
            secret_value_unref(secret);
        }
        items.push_back(std::move(out));
    }
    g_list_free_full(found, g_object_unref);
    g_object_unref(secrets);
    return items;
}

void clearOrvixSecrets() {
    SecretService* secrets = service();
    if (secrets == nullptr) return;
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("application"), const_cast<char*>("orvix"));
    GError* error = nullptr;
    secret_service_clear_sync(secrets, nullptr, attributes, nullptr, &error);
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        ADD_FAILURE() << "clearing the keyring failed: " << error->message;
        g_error_free(error);
    }
    g_object_unref(secrets);
}

bool lockDefaultCollection() {
    SecretService* secrets = service();
    if (secrets == nullptr) return false;
    GError* error = nullptr;
    SecretCollection* collection =
        secret_collection_for_alias_sync(secrets, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    bool locked = false;
    if (collection != nullptr) {
        GList* objects = g_list_append(nullptr, collection);
        locked = secret_service_lock_sync(secrets, objects, nullptr, nullptr, &error) == 1;
        g_list_free(objects);
        g_object_unref(collection);
    }
    if (error != nullptr) {
        ADD_FAILURE() << "locking failed: " << error->message;
        g_error_free(error);
    }
    g_object_unref(secrets);
    return locked;
}

pid_t keyringDaemonPid() {
    const char* pid = std::getenv(kPrivateKeyringVariable);
    return pid != nullptr ? static_cast<pid_t>(std::atol(pid)) : 0;
}

pid_t startKeyringDaemon() {
    const std::string command = std::string("bash '") + ORVIX_PRIVATE_KEYRING_SCRIPT + "' --start-daemon";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return 0;
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    const pid_t pid = read ? static_cast<pid_t>(std::atol(line)) : 0;
    if (pid > 0) ::setenv(kPrivateKeyringVariable, std::to_string(pid).c_str(), 1);
    return pid;
}

pid_t restartKeyringDaemon() {
    const pid_t old = keyringDaemonPid();
    if (old > 0 && ::kill(old, SIGTERM) == 0) {
        // Gone once its bus name is free again, which the new one takes.
        for (int i = 0; i < 200 && ::kill(old, 0) == 0; ++i) ::usleep(10000);
    }
    return startKeyringDaemon();
}

std::vector<std::string> ToolRun::values(const std::string& name) const {
    std::vector<std::string> found;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name + "\t", 0) == 0) found.push_back(line.substr(name.size() + 1));
    }
    return found;
}

ToolRun runStoreTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    ToolRun run;
    char outName[] = "/tmp/orvix-store-tool-out-XXXXXX";
    char errName[] = "/tmp/orvix-store-tool-err-XXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    const std::string self = selfPath();
    // Everything the child needs is built before the fork: it only execs.
    std::vector<std::string> settings;
    for (char** entry = environ; *entry != nullptr; ++entry) settings.emplace_back(*entry);
    for (const std::string& setting : environment) {
        const std::string name = setting.substr(0, setting.find('=') + 1);
        std::erase_if(settings, [&](const std::string& s) { return s.rfind(name, 0) == 0; });
        settings.push_back(setting);
    }
    std::vector<char*> envp;
    for (std::string& setting : settings) envp.push_back(setting.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{self, "--store-tool"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        ::execve(self.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = readWhole(outName);
    run.err = readWhole(errName);
    ::unlink(outName);
    ::unlink(errName);
    return run;
}

}  // namespace orvix
