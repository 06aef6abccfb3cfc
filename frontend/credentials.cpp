#include "frontend/credentials.h"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <vector>

#include "core/device_list.h"
#include "core/text_codec.h"
#include "store/device_store.h"

namespace orvix {
namespace {

// A password is one short line; more than this is not a password file.
constexpr size_t kMaxPasswordFileBytes = 4096;
// How often a wait for the file looks at the interrupt.
constexpr int kWaitSliceMs = 100;

// True once `fd` has bytes or its end to read (at once for a regular file; a
// FIFO without a writer has neither), false when the wait ran out first.
bool waitReadable(int fd, const FileWait& wait) {
    for (;;) {
        // Rounded up: a wait that ends early would leave the deadline unreached.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wait.deadline - std::chrono::steady_clock::now());
        const int slice = static_cast<int>(std::clamp<int64_t>(left.count(), 0, kWaitSliceMs));
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, slice);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return true;  // the read tells what is wrong
        if (wait.interrupt != nullptr && wait.interrupt->load()) return false;
        if (slice == 0) return false;
    }
}

bool takeDevice(RecorderOptions& options, const std::string& databasePath, std::string& error) {
    DeviceStore store(databasePath);
    DeviceList list;
    // The store tells on stderr why a list cannot be read.
    if (!store.load(list)) {
        error = "--device: the device list " + databasePath + " could not be read";
        return false;
    }
    const std::u16string wanted = fromUtf8(options.deviceName);
    const DeviceRecord* found = nullptr;
    for (const DeviceRecord* record : list.entries()) {
        if (record->name.view() != wanted) continue;
        if (found != nullptr) {
            error = "--device: several recorders are named \"" + options.deviceName + "\"";
            return false;
        }
        found = record;
    }
    if (found == nullptr) {
        error = "--device: no recorder named \"" + options.deviceName + "\" in " + databasePath;
        return false;
    }
    return takeRecord(options, *found, store, error);
}

}  // namespace

bool takeRecord(RecorderOptions& options, const DeviceRecord& r, const DeviceStore& store, std::string& error) {
    const std::string name = toUtf8(r.name.view());
    // The list's texts are kept as UTF-16; the recorder gets them in the
    // locale's set, as the command line's.
    auto recorderText = [&](std::u16string_view text, std::string& out, const char* what) {
        if (toRecorderText(text, out)) return true;
        error = "--device \"" + name + "\": " + notCarried(what);
        return false;
    };
    if (r.useStatic != 0) {
        if (r.address.empty() || r.port == 0) {
            error = "--device: \"" + name + "\" has no recorder address and port";
            return false;
        }
        options.useDdns = false;
        options.host = toUtf8(r.address.view());
        options.port = r.port;
    } else {
        if (r.ddnsServer.empty() || r.ddnsPort == 0 || r.ddnsId.empty()) {
            error = "--device: \"" + name + "\" has no DDNS server, port and id";
            return false;
        }
        options.useDdns = true;
        options.ddnsServer = toUtf8(r.ddnsServer.view());
        options.ddnsPort = r.ddnsPort;
        if (!recorderText(r.ddnsId.view(), options.ddnsId, "DDNS id")) return false;
    }
    if (!options.userGiven && !recorderText(r.account.view(), options.user, "account")) return false;
    if (!options.streamGiven) {
        const int32_t framing = r.framingKind.load();
        options.framingKind = framing == 1 ? 1 : 0;
    }
    if (!options.passwordGiven && options.passwordFile.empty()) {
        if (!store.passwordReadable(r)) {
            error = "--device: the password of \"" + name +
                    "\" is kept in the keyring, which could not give it";
            return false;
        }
        if (!recorderText(r.password.view(), options.password, "password")) return false;
        options.passwordGiven = true;
    }
    return true;
}

bool readPasswordFile(const std::string& path, std::string& password, std::string& error, const FileWait& wait) {
    // Not blocking: opening a FIFO would wait for a writer, without limit.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "--password-file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    std::vector<char> buffer(1024);
    bool failed = false;
    while (text.size() <= kMaxPasswordFileBytes && text.find('\n') == std::string::npos) {
        if (!waitReadable(fd, wait)) {
            const bool interrupted = wait.interrupt != nullptr && wait.interrupt->load();
            error = "--password-file " + path + (interrupted ? ": interrupted" : ": no line came before the timeout");
            failed = true;
            break;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < 0) {
            error = "--password-file " + path + ": " + std::strerror(errno);
            failed = true;
            break;
        }
        if (got == 0) break;
        text.append(buffer.data(), static_cast<size_t>(got));
    }
    ::close(fd);
    if (failed) return false;
    const size_t newline = text.find('\n');
    if (newline == std::string::npos && text.size() > kMaxPasswordFileBytes) {
        error = "--password-file " + path + ": the first line is longer than " +
                std::to_string(kMaxPasswordFileBytes) + " bytes";
        return false;
    }
    password = text.substr(0, newline);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

void useEnvironmentLocale() {
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

bool toRecorderText(std::u16string_view text, std::string& narrow) {
    // Characters the set lacks become '?', which reads back differently.
    narrow = toNarrow(text);
    return fromNarrow(narrow) == text;
}

std::string notCarried(const std::string& what) {
    return "the " + what + " has characters the recorder's encoding cannot carry";
}

bool passwordFileText(const std::string& line, std::string& password) {
    const std::u16string text = fromUtf8(line);
    if (toUtf8(text) != line) {
        password = line;  // not UTF-8: already in the locale's set
        return true;
    }
    return toRecorderText(text, password);
}

bool resolveCredentials(RecorderOptions& options, const CredentialSources& sources, std::string& error,
                        const FileWait& wait) {
    if (!options.passwordFile.empty()) {
        std::string line;
        if (!readPasswordFile(options.passwordFile, line, error, wait)) return false;
        if (!passwordFileText(line, options.password)) {
            error = "--password-file " + options.passwordFile + ": " + notCarried("password");
            return false;
        }
        options.passwordGiven = true;
    }
    if (!options.deviceName.empty() && !takeDevice(options, sources.databasePath, error)) return false;
    if (!options.passwordGiven && sources.environmentPassword != nullptr) {
        options.password = sources.environmentPassword;
        options.passwordGiven = true;
    }
    return true;
}

}  // namespace orvix
