// The client's owner thread as the link sees it: the link thread's
// notifications are handed to the thread that runs the loop (the main
// thread) and the link thread waits until they are handled, as with a
// window's synchronous messages; the display thread posts its pictures and
// the link thread the end of the link without waiting. Other threads can
// wake the loop when its owner has something to do. The loop also runs while
// a disconnect waits, so the link thread is never left waiting for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "link/link_notifier.h"

namespace orvix {

// A picture the display thread presented.
struct PictureEvent {
    int width = 0;
    int height = 0;
    int channel = 0;        // 0-based, as the display frame tracks it
    bool timeKnown = false;
    uint32_t seconds = 0;   // recorder time of the picture
};

// What the loop delivers, on the loop's thread.
class LoopHandler {
public:
    virtual ~LoopHandler() = default;
    virtual void onMessage(WindowMessage message, WParam wParam, LParam lParam) = 0;
    virtual void onNetworkError() = 0;
    virtual void onLinkEnded(const LinkEnd& end) = 0;
    virtual void onPicture(const PictureEvent& picture) = 0;
    virtual void onReconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
        (void)end;
        (void)delayMs;
        (void)attempt;
    }
};

class MessageLoop final : public LinkNotifier {
public:
    explicit MessageLoop(LoopHandler& handler) : handler_(handler) {}

    // Link thread: delivered on the loop's thread; returns once handled.
    void notify(WindowMessage message, WParam wParam, LParam lParam) override;
    void showNetworkError() override;
    // Link thread: queued; returns at once.
    void linkEnded(const LinkEnd& end) override;
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;
    // Display thread: queued; returns at once.
    void postPicture(const PictureEvent& picture);
    // Any thread: runUntil() returns soon.
    void wake();
    // Loop thread, once no link thread runs any more: forgets the link's
    // end and reconnect plans not handled yet, so that a past connection's
    // end never reaches the next one.
    void forgetPosted();

    // Loop thread: handles what arrives until `deadline`, or until one
    // item was handled when `returnAfterOne` is set.
    void runUntil(std::chrono::steady_clock::time_point deadline, bool returnAfterOne);
    void runFor(int milliseconds) {
        runUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds), false);
    }

private:
    struct Item {
        enum class Kind { Message, NetworkError, LinkEnded, Reconnect, Picture } kind = Kind::Message;
        WindowMessage message = VWM_REFRESH;
        WParam wParam = 0;
        LParam lParam = 0;
        PictureEvent picture;
        LinkEnd end;
        int delayMs = 0;
        int attempt = 0;
        bool waited = false;  // the sender waits for `done`
        bool done = false;
    };
    void sendAndWait(const std::shared_ptr<Item>& item);
    void post(std::shared_ptr<Item> item);
    void handle(const Item& item);

    LoopHandler& handler_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Item>> queue_;
    bool woken_ = false;
};

}  // namespace orvix
