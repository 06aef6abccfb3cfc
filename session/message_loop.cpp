#include "session/message_loop.h"

namespace orvix {

void MessageLoop::notify(WindowMessage message, WParam wParam, LParam lParam) {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::Message;
    item->message = message;
    item->wParam = wParam;
    item->lParam = lParam;
    sendAndWait(item);
}

void MessageLoop::showNetworkError() {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::NetworkError;
    sendAndWait(item);
}

void MessageLoop::linkEnded(const LinkEnd& end) {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::LinkEnded;
    item->end = end;
    post(std::move(item));
}

void MessageLoop::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::Reconnect;
    item->end = end;
    item->delayMs = delayMs;
    item->attempt = attempt;
    post(std::move(item));
}

void MessageLoop::postPicture(const PictureEvent& picture) {
    auto item = std::make_shared<Item>();
    item->kind = Item::Kind::Picture;
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
    std::erase_if(queue_, [](const std::shared_ptr<Item>& item) {
        return item->kind == Item::Kind::LinkEnded || item->kind == Item::Kind::Reconnect;
    });
}

void MessageLoop::post(std::shared_ptr<Item> item) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(item));
    cv_.notify_all();
}

void MessageLoop::sendAndWait(const std::shared_ptr<Item>& item) {
    item->waited = true;
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(item);
    cv_.notify_all();
    cv_.wait(lock, [&item] { return item->done; });
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
        // The payload of a message is read while its sender still waits.
        lock.unlock();
        handle(*item);
        lock.lock();
        if (item->waited) {
            item->done = true;
            cv_.notify_all();
        }
        if (returnAfterOne || std::chrono::steady_clock::now() >= deadline) return;
    }
}

void MessageLoop::handle(const Item& item) {
    switch (item.kind) {
        case Item::Kind::Message: handler_.onMessage(item.message, item.wParam, item.lParam); break;
        case Item::Kind::NetworkError: handler_.onNetworkError(); break;
        case Item::Kind::LinkEnded: handler_.onLinkEnded(item.end); break;
        case Item::Kind::Reconnect: handler_.onReconnectScheduled(item.end, item.delayMs, item.attempt); break;
        case Item::Kind::Picture: handler_.onPicture(item.picture); break;
    }
}

}  // namespace orvix
