#include "bridge/recorder_loop.h"

namespace orvix::bridge {

void RecorderLoop::notify(WindowMessage message, WParam wParam, LParam lParam) {
    auto item = std::make_shared<Item>();
    item->message = message;
    item->wParam = wParam;
    item->lParam = lParam;
    sendAndWait(item);
}

void RecorderLoop::showNetworkError() {
    auto item = std::make_shared<Item>();
    item->networkError = true;
    sendAndWait(item);
}

void RecorderLoop::sendAndWait(const std::shared_ptr<Item>& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(item);
    cv_.notify_all();
    cv_.wait(lock, [&] { return item->done; });
}

void RecorderLoop::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    cv_.notify_all();
}

void RecorderLoop::run(std::chrono::steady_clock::time_point deadline, bool returnAfterOne) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!cv_.wait_until(lock, deadline, [this] { return woken_ || !queue_.empty(); })) return;
        if (queue_.empty()) {
            woken_ = false;
            return;
        }
        std::shared_ptr<Item> item = queue_.front();
        queue_.pop_front();
        // The payload of a message is read while its sender still waits.
        lock.unlock();
        if (item->networkError) {
            onNetworkError_();
        } else {
            onMessage_(item->message, item->wParam, item->lParam);
        }
        lock.lock();
        item->done = true;
        cv_.notify_all();
        if (returnAfterOne) return;
    }
}

}  // namespace orvix::bridge
