// One thread that runs jobs one after another, in the order they were
// given, so that callers who must not wait (the window thread) can hand
// work over and callers who want the result can wait for it in turn.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orvix {

class JobThread {
public:
    JobThread();
    // Runs what is queued, then ends the thread.
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Any thread but the job thread itself (a job that waited for another
    // job would wait for ever).
    void post(std::function<void()> job);
    // Runs `job` after everything posted before it and returns once it ran.
    void call(const std::function<void()>& job);
    // Waits until nothing is queued or running; false when `limit` passed
    // first.
    bool waitIdle(std::chrono::milliseconds limit);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::function<void()>> jobs_;
    size_t unfinished_ = 0;  // queued or running
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace orvix
