#include "store/job_thread.h"

namespace orvix {

JobThread::JobThread() : thread_([this] { run(); }) {}

JobThread::~JobThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void JobThread::post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        ++unfinished_;
    }
    wake_.notify_one();
}

void JobThread::call(const std::function<void()>& job) {
    std::mutex mutex;
    std::condition_variable ran;
    bool finished = false;
    post([&] {
        job();
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        ran.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    ran.wait(lock, [&] { return finished; });
}

bool JobThread::waitIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, limit, [this] { return unfinished_ == 0; });
}

void JobThread::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and nothing left
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
        --unfinished_;
        if (unfinished_ == 0) done_.notify_all();
    }
}

}  // namespace orvix
