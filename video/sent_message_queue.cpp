#include "video/sent_message_queue.h"

#include <chrono>

namespace orvix {

SentMessageQueue::SentMessageQueue(Wake wake) : wake_(std::move(wake)) {}

SentMessageQueue::~SentMessageQueue() { close(); }

intptr_t SentMessageQueue::send(Task task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return 0;
        queue_.push_back(item);
    }
    changed_.notify_all();
    if (wake_) wake_();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&item] { return item->done; });
    return item->result;
}

bool SentMessageQueue::runOne(std::unique_lock<std::mutex>& lock) {
    if (closed_ || queue_.empty()) return false;
    std::shared_ptr<Item> item = queue_.front();
    queue_.pop_front();
    lock.unlock();
    const intptr_t result = item->task();
    lock.lock();
    item->result = result;
    item->done = true;
    changed_.notify_all();
    return true;
}

int SentMessageQueue::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    // Only what waits now: a sender that sends again at once is served by
    // its own wake-up, so the window's other events are not starved.
    size_t waiting = queue_.size();
    int ran = 0;
    while (waiting-- > 0 && runOne(lock)) ++ran;
    return ran;
}

void SentMessageQueue::waitHandling(int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(mutex_);
    while (std::chrono::steady_clock::now() < deadline) {
        if (runOne(lock)) continue;
        // A closed queue stays empty: the wait then lasts the whole time.
        changed_.wait_until(lock, deadline, [this] { return !closed_ && !queue_.empty(); });
    }
}

size_t SentMessageQueue::pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

void SentMessageQueue::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        for (const auto& item : queue_) item->done = true;
        queue_.clear();
    }
    changed_.notify_all();
}

}  // namespace orvix
