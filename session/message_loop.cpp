#include "session/message_loop.h"

namespace orvix {

void MessageLoop::sendReport(Task task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    item->waited = true;
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(item);
    cv_.notify_all();
    cv_.wait(lock, [&item] { return item->done; });
}

void MessageLoop::postReport(Task task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    post(std::move(item));
}

void MessageLoop::postPicture(const PictureEvent& picture) {
    auto item = std::make_shared<Item>();
    item->picture = picture;
    post(std::move(item));
}

void MessageLoop::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    cv_.notify_all();
}

void MessageLoop::forgetPosted() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(queue_, [](const std::shared_ptr<Item>& item) { return item->task && !item->waited; });
}

void MessageLoop::post(std::shared_ptr<Item> item) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(item));
    cv_.notify_all();
}

void MessageLoop::runUntil(std::chrono::steady_clock::time_point deadline, bool returnAfterOne) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            if (!cv_.wait_until(lock, deadline, [this] { return !queue_.empty() || woken_; })) return;
            if (queue_.empty()) {
                woken_ = false;
                return;
            }
        }
        std::shared_ptr<Item> item = queue_.front();
        queue_.pop_front();
        lock.unlock();
        if (item->task) {
            item->task();
        } else if (handler_ != nullptr) {
            handler_->onPicture(item->picture);
        }
        lock.lock();
        if (item->waited) {
            item->done = true;
            cv_.notify_all();
        }
        if (returnAfterOne || std::chrono::steady_clock::now() >= deadline) return;
    }
}

}  // namespace orvix
