#include "gui/sent_message_queue.h"

#include <algorithm>

namespace orvix {

SentMessageQueue::SentMessageQueue(Wake wake) : wake_(std::move(wake)) {}

SentMessageQueue::~SentMessageQueue() { close(); }

intptr_t SentMessageQueue::send(Task task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    return queue(item);
}

std::shared_ptr<SentMessageQueue::Item> SentMessageQueue::reportItem(Report report) {
    auto item = std::make_shared<Item>();
    item->task = [report = std::move(report)] {
        report();
        return intptr_t{0};
    };
    item->report = true;
    return item;
}

void SentMessageQueue::sendReport(Report report) { queue(reportItem(std::move(report))); }

void SentMessageQueue::postReport(Report report) {
    const auto item = reportItem(std::move(report));
    item->done = true;  // nobody waits for it
    queue(item);
}

intptr_t SentMessageQueue::queue(const std::shared_ptr<Item>& item) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return 0;
        if (item->report && !holdReports_) item->done = true;
        queue_.push_back(item);
    }
    changed_.notify_all();
    if (wake_) wake_();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&item] { return item->done; });
    return item->result;
}

bool SentMessageQueue::runOne(std::unique_lock<std::mutex>& lock, bool reportsOnly) {
    if (closed_) return false;
    const auto next = std::find_if(queue_.begin(), queue_.end(),
                                   [reportsOnly](const std::shared_ptr<Item>& item) { return !reportsOnly || item->report; });
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
    while (waiting-- > 0 && runOne(lock, false)) ++ran;
    return ran;
}

int SentMessageQueue::drainReports() {
    std::unique_lock<std::mutex> lock(mutex_);
    int ran = 0;
    while (runOne(lock, true)) ++ran;
    return ran;
}

void SentMessageQueue::holdReportSenders(bool hold) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holdReports_ = hold;
        if (hold) return;
        for (const auto& item : queue_) {
            if (item->report) item->done = true;
        }
        for (const auto& item : running_) {
            if (item->report) item->done = true;
        }
    }
    changed_.notify_all();
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
