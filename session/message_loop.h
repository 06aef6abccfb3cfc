// The client's owner thread as the session sees it: the link's reports are
// handed to the thread that runs the loop (the main thread), and the link
// thread waits until the ones it sends are handled, as with a window's
// synchronous messages; the display thread posts its pictures and the link
// thread the end of the link without waiting. Other threads can wake the
// loop when its owner has something to do. The loop also runs while a
// disconnect waits, so the link thread is never left waiting for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "session/owner_thread.h"

namespace orvix {

// A picture the display thread presented.
struct PictureEvent {
    int width = 0;
    int height = 0;
    int channel = 0;        // 0-based, as the display frame tracks it
    bool timeKnown = false;
    uint32_t seconds = 0;   // recorder time of the picture
};

// What the loop delivers besides the session's reports, on the loop's thread.
class LoopHandler {
public:
    virtual ~LoopHandler() = default;
    virtual void onPicture(const PictureEvent& picture) = 0;
};

class MessageLoop final : public OwnerThread {
public:
    // Pictures go to `handler` (none: they are dropped).
    explicit MessageLoop(LoopHandler* handler = nullptr) : handler_(handler) {}

    // Link thread: run on the loop's thread; sendReport() returns once it ran.
    void sendReport(Task task) override;
    // Link thread: queued; returns at once.
    void postReport(Task task) override;
    // Display thread: queued; returns at once.
    void postPicture(const PictureEvent& picture);
    // Any thread: runUntil() returns soon.
    void wake();
    // Loop thread, once no link thread runs any more: forgets the reports
    // posted and not handled yet (the link's end, reconnect plans), so that
    // a past connection's end never reaches the next one.
    void forgetPosted();

    // Loop thread: handles what arrives until `deadline`, or until one
    // item was handled when `returnAfterOne` is set.
    void runUntil(std::chrono::steady_clock::time_point deadline, bool returnAfterOne);
    void runFor(int milliseconds) {
        runUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds), false);
    }

private:
    struct Item {
        Task task;             // a report
        PictureEvent picture;  // when `task` is empty
        bool waited = false;   // the sender waits for `done`
        bool done = false;
    };
    void post(std::shared_ptr<Item> item);

    LoopHandler* handler_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Item>> queue_;
    bool woken_ = false;
};

}  // namespace orvix
