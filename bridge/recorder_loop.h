// The recorder thread's loop: the link's notifications are handed to it and
// the link thread waits until they are handled, as a window's synchronous
// messages are; the link's end and its reconnect plans are posted (the link
// thread does not wait for those). Other threads can wake it when there is
// something to do (a watcher came or went). It also runs while a disconnect
// waits, so the link thread is never left waiting for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "link/link_notifier.h"

namespace orvix::bridge {

class RecorderLoop final : public LinkNotifier {
public:
    struct Handlers {
        std::function<void(WindowMessage message, WParam wParam, LParam lParam)> message;
        std::function<void()> networkError;
        // The link ended for good (no reconnect follows).
        std::function<void(const LinkEnd& end)> linkEnded;
        // The connection was lost; the link connects again after `delayMs`.
        std::function<void(const LinkEnd& end, int delayMs, int attempt)> reconnectScheduled;
    };

    explicit RecorderLoop(Handlers handlers) : handlers_(std::move(handlers)) {}

    // Link thread: handled on the loop's thread; returns once handled.
    void notify(WindowMessage message, WParam wParam, LParam lParam) override;
    void showNetworkError() override;
    // Link thread: handled on the loop's thread; returns at once.
    void linkEnded(const LinkEnd& end) override;
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;

    // Any thread: the loop's run() returns soon.
    void wake();
    // Loop thread, once no link thread runs any more: forgets what was
    // posted and not handled, so that a past connection's end never reaches
    // the next one.
    void forgetPosted();

    // Loop thread: handles what arrives until `deadline`; returns earlier
    // after a wake() or, with `returnAfterOne`, after one notification.
    void run(std::chrono::steady_clock::time_point deadline, bool returnAfterOne);
    void runFor(int milliseconds) {
        run(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds), false);
    }

private:
    struct Item {
        enum class Kind { Message, NetworkError, LinkEnded, Reconnect } kind = Kind::Message;
        WindowMessage message = VWM_REFRESH;
        WParam wParam = 0;
        LParam lParam = 0;
        LinkEnd end;
        int delayMs = 0;
        int attempt = 0;
        bool done = false;
    };
    void sendAndWait(const std::shared_ptr<Item>& item);
    void post(const std::shared_ptr<Item>& item);
    void handle(const Item& item);

    Handlers handlers_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Item>> queue_;
    bool woken_ = false;
};

}  // namespace orvix::bridge
