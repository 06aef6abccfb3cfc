// What orvix-cli takes from outside its command line: the password from a
// file or the ORVIX_PASSWORD environment variable, or the address, account,
// password and stream type of a recorder of the device list (the store, and
// the keyring where the store keeps passwords). None of them shows the
// password in the process list, which --password does.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include "frontend/recorder_options.h"

namespace orvix {
struct DeviceRecord;
class DeviceStore;
}  // namespace orvix

namespace orvix {

inline constexpr char kPasswordVariable[] = "ORVIX_PASSWORD";

struct CredentialSources {
    const char* environmentPassword = nullptr;  // the value of ORVIX_PASSWORD, or null
    std::string databasePath;                    // the device list, for --device
};

// How long the password file may keep its reader waiting (a FIFO whose
// writer has not written yet): until `deadline`, or until `interrupt` is
// set. By default nothing is waited for; a regular file never waits.
struct FileWait {
    std::chrono::steady_clock::time_point deadline{};
    const std::atomic<bool>* interrupt = nullptr;
};

// Fills in `options` from the sources: --device first (its account,
// password and stream type unless given on the command line), then the
// password from --password-file, else from the environment when nothing
// else gave one. False with a one-line reason (that never holds the
// password) when a source cannot be used.
bool resolveCredentials(RecorderOptions& options, const CredentialSources& sources, std::string& error,
                        const FileWait& wait = {});

// Fills in `options` from `record`, a recorder of the list `store` loaded:
// its address or DDNS, and its account, password and stream type unless the
// command line gave them. False with a reason (naming the recorder, never
// its password) when it has no address or its password cannot be had.
bool takeRecord(RecorderOptions& options, const DeviceRecord& record, const DeviceStore& store, std::string& error);

// The first line of the file at `path` without its line end; false with the
// reason when it cannot be read, or nothing ends the line within `wait`.
bool readPasswordFile(const std::string& path, std::string& password, std::string& error,
                      const FileWait& wait = {});

// Sets the locale from the environment, as the program does. Where that
// gives a character set of plain ASCII (no locale named, as under cron or
// systemd, or C), texts are taken and sent in UTF-8 instead, as the
// program's toolkit does.
void useEnvironmentLocale();

// `text` in the current locale's character set, which the recorder gets;
// false when the set cannot carry one of its characters.
bool toRecorderText(std::u16string_view text, std::string& narrow);

// A password file's line in the current locale's character set: read as
// UTF-8 when it is that, else taken as it is. False when the locale's set
// cannot carry it.
bool passwordFileText(const std::string& line, std::string& password);

// Why a text (`what`: "password", "account" ...) cannot be sent as it is.
std::string notCarried(const std::string& what);

}  // namespace orvix
