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
    item->kind = Item::Kind::NetworkError;
    sendAndWait(item);
}

void RecorderLoop::linkEnded(const LinkEnd& end) {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::LinkEnded;
    item->end = end;
    post(item);
}

void RecorderLoop::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::Reconnect;
    item->end = end;
    item->delayMs = delayMs;
    item->attempt = attempt;
    post(item);
}

void RecorderLoop::post(const std::shared_ptr<Item>& item) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(item);
    cv_.notify_all();
}

void RecorderLoop::forgetPosted() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(queue_, [](const std::shared_ptr<Item>& item) {
        return item->kind == Item::Kind::LinkEnded || item->kind == Item::Kind::Reconnect;
    });
}

void RecorderLoop::handle(const Item& item) {
    switch (item.kind) {
        case Item::Kind::Message:
            if (handlers_.message) handlers_.message(item.message, item.wParam, item.lParam);
            break;
        case Item::Kind::NetworkError:
            if (handlers_.networkError) handlers_.networkError();
            break;
        case Item::Kind::LinkEnded:
            if (handlers_.linkEnded) handlers_.linkEnded(item.end);
            break;
        case Item::Kind::Reconnect:
            if (handlers_.reconnectScheduled) handlers_.reconnectScheduled(item.end, item.delayMs, item.attempt);
            break;
    }
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
        handle(*item);
        lock.lock();
        item->done = true;
        cv_.notify_all();
        if (returnAfterOne) return;
    }
}

}  // namespace orvix::bridge
