#include "tools/sim_common/command_log.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace orvix::sim {

namespace {

bool startsWith(const std::string& line, std::string_view prefix) {
    return line.size() >= prefix.size() && std::string_view(line).substr(0, prefix.size()) == prefix;
}

}  // namespace

CommandLog::~CommandLog() {
    if (file_ != nullptr) std::fclose(file_);
}

bool CommandLog::openFile(const std::string& path, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = file;
    return true;
}

void CommandLog::add(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        if (file_ != nullptr) {
            std::fprintf(file_, "%s\n", line.c_str());
            std::fflush(file_);
        }
    }
    added_.notify_all();
}

std::vector<std::string> CommandLog::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

size_t CommandLog::count(std::string_view prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const std::string& line : lines_) n += startsWith(line, prefix) ? 1 : 0;
    return n;
}

bool CommandLog::waitFor(std::string_view prefix, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return added_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const std::string& line : lines_) {
            if (startsWith(line, prefix)) return true;
        }
        return false;
    });
}

void CommandLog::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace orvix::sim
