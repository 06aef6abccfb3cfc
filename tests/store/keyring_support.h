// What the keyring tests need beside the store: the keyring's contents read
// with libsecret directly, locking it, restarting its daemon, and running
// this test program again as a separate store user (another program run).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace orvix {

struct KeyringItem {
    std::string label;
    std::map<std::string, std::string> attributes;
    std::string secret;
    bool locked = false;
};

// Every secret with application "orvix" in the session's keyring.
std::vector<KeyringItem> orvixKeyringItems();

// Removes them all (tests run by hand share one keyring daemon).
void clearOrvixSecrets();

// Locks the default collection, as the desktop does when the screen locks.
bool lockDefaultCollection();

// The private keyring daemon's process id, and starting another after a test
// stopped it (its keyring file stays; the new one is unlocked). Programs
// this one starts afterwards see the new id.
pid_t keyringDaemonPid();
pid_t startKeyringDaemon();
// Stops the daemon and starts another, for a test that locked the keyring.
pid_t restartKeyringDaemon();

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    // The values of the lines "NAME<TAB>VALUE" of `out`.
    std::vector<std::string> values(const std::string& name) const;
};

// Runs this program as `--store-tool ARGS...` (see keyring_store_tool.cpp),
// with `environment` ("NAME=VALUE") added to its environment.
ToolRun runStoreTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {});

// The store tool itself, run by main().
int storeToolMain(const std::vector<std::string>& arguments);

}  // namespace orvix
