// The recorder thread's loop: the link's notifications are handed to it and
// the link thread waits until they are handled, as a window's synchronous
// messages are; other threads can wake it when there is something to do
// (a watcher came or went). It also runs while a disconnect waits, so the
// link thread is never left waiting for it.
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
    using MessageHandler = std::function<void(WindowMessage message, WParam wParam, LParam lParam)>;

    RecorderLoop(MessageHandler onMessage, std::function<void()> onNetworkError)
        : onMessage_(std::move(onMessage)), onNetworkError_(std::move(onNetworkError)) {}

    // Link thread: handled on the loop's thread; returns once handled.
    void notify(WindowMessage message, WParam wParam, LParam lParam) override;
    void showNetworkError() override;

    // Any thread: the loop's run() returns soon.
    void wake();

    // Loop thread: handles what arrives until `deadline`; returns earlier
    // after a wake() or, with `returnAfterOne`, after one notification.
    void run(std::chrono::steady_clock::time_point deadline, bool returnAfterOne);
    void runFor(int milliseconds) {
        run(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds), false);
    }

private:
    struct Item {
        bool networkError = false;
        WindowMessage message = VWM_REFRESH;
        WParam wParam = 0;
        LParam lParam = 0;
        bool done = false;
    };
    void sendAndWait(const std::shared_ptr<Item>& item);

    MessageHandler onMessage_;
    std::function<void()> onNetworkError_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Item>> queue_;
    bool woken_ = false;
};

}  // namespace orvix::bridge
