// The simulators' record of what a client sent: one line per command with
// its decoded fields, kept in memory for in-process tests and, when a file
// is given, appended to it and flushed at once for scripts.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvix::sim {

class CommandLog {
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    // Writes the lines to `path` from now on (the file is truncated).
    bool openFile(const std::string& path, std::string* error);
    void add(const std::string& line);

    std::vector<std::string> lines() const;
    // Lines that start with `prefix`.
    size_t count(std::string_view prefix) const;
    // Waits until a line starting with `prefix` is there; false after
    // `timeoutMs` (a guard against hangs).
    bool waitFor(std::string_view prefix, int timeoutMs = 20000) const;
    void clear();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    std::vector<std::string> lines_;
    std::FILE* file_ = nullptr;
};

}  // namespace orvix::sim
