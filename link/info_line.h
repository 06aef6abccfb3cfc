// The info line under the status line. The owner's thread writes it (the
// command wrappers' texts, record replies, a disconnect clears it) and so does
// the link thread (the cause of an end), so it is kept under a lock.
#pragma once

#include <mutex>
#include <string>
#include <utility>

namespace orvix {

class InfoLine {
public:
    void set(std::string text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = std::move(text);
    }
    std::string get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    void clear() { set({}); }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace orvix
