// The bridge's log: one line per event (a client joins or leaves, a
// recorder connects, is refused, fails or is closed) on stderr, each with
// the local time, so that journald or a terminal shows what happened. No
// line shows a password of a URL.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace orvix::bridge {

class EventLog {
public:
    // Lines go to stderr; tests may take them instead.
    using Writer = std::function<void(const std::string& line)>;
    EventLog() = default;
    explicit EventLog(Writer writer) : writer_(std::move(writer)) {}

    // Any thread: one whole line, never interleaved with another.
    void event(const std::string& text);

private:
    std::mutex mutex_;
    Writer writer_;
};

}  // namespace orvix::bridge
