#include "gui/sent_message_queue.h"

#include <algorithm>
#include <chrono>

namespace orvix {

SentMessageQueue::SentMessageQueue(Wake wake) : wake_(std::move(wake)) {}

SentMessageQueue::~SentMessageQueue() { close(); }

intptr_t SentMessageQueue::send(Task task) { return send(std::move(task), nullptr, false); }

intptr_t SentMessageQueue::send(Task task, Ready ready, bool releasable) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    item->ready = std::move(ready);
    item->releasable = releasable;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return 0;
        queue_.push_back(item);
        ++arrivals_;
    }
    changed_.notify_all();
    if (wake_) wake_();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&item] { return item->done; });
    return item->result;
}

void SentMessageQueue::post(Task task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    // Nobody waits for it.
    item->done = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        queue_.push_back(item);
        ++arrivals_;
    }
    changed_.notify_all();
    if (wake_) wake_();
}

bool SentMessageQueue::runOne(std::unique_lock<std::mutex>& lock) {
    if (closed_) return false;
    // `ready` only reads the window's own state, so it is asked under the lock.
    const auto next = std::find_if(queue_.begin(), queue_.end(),
                                   [](const std::shared_ptr<Item>& item) { return !item->ready || item->ready(); });
    if (next == queue_.end()) return false;
    std::shared_ptr<Item> item = *next;
    queue_.erase(next);
    running_.push_back(item);
    lock.unlock();
    const intptr_t result = item->task();
    lock.lock();
    running_.erase(std::find(running_.begin(), running_.end(), item));
    if (!item->done) {
        item->result = result;
        item->done = true;
    }
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
        const uint64_t seen = arrivals_;
        if (runOne(lock)) continue;
        // Messages that are not ready stay for later; a closed queue stays
        // empty: the wait then lasts the whole time.
        changed_.wait_until(lock, deadline, [this, seen] { return !closed_ && arrivals_ != seen; });
    }
}

size_t SentMessageQueue::pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

void SentMessageQueue::releaseRunning() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& item : running_) {
            if (item->releasable) item->done = true;
        }
    }
    changed_.notify_all();
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
