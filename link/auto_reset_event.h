// An event that wakes one waiter and resets itself. Signals given while it is
// already set merge into one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvix {

class AutoResetEvent {
public:
    void set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }

    // True when the event was signalled within `timeout` (and is now reset).
    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
        signalled_ = false;
        return true;
    }

    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace orvix
