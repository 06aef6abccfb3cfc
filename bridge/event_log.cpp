#include "bridge/event_log.h"

#include <cstdio>
#include <ctime>

#include "bridge/url_credentials.h"

namespace orvix::bridge {

void EventLog::event(const std::string& text) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string line = std::string(stamp) + " " + redactCredentials(text) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    if (writer_) {
        writer_(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace orvix::bridge
