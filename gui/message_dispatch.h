// How calls from other threads reach the video window's thread, and the
// window's one way of stopping the link's threads.
//
// Messages from other threads and the link's reports queue up for the
// window's thread; a message's sender waits until it has run, and so does the
// sender of a waited report, as with synchronous window messages.
//
// The stop has two phases. Running: reports hold the link thread as above.
// Stopping (from the start of stopLink() until it returns): no report holds
// the link thread, so that it reaches its stop even when it sits in a report
// the window is handling further down its stack, and the window waits for it
// without handling anything. Once the link's threads have ended, the
// reports that came meanwhile run, in order, before stopLink() returns;
// messages from other threads wait until the window's thread is back.
#pragma once

#include <cstddef>
#include <functional>
#include <thread>

#include "core/window_messages.h"
#include "gui/sent_message_queue.h"
#include "session/owner_thread.h"

namespace orvix {

class MessageDispatch final : public OwnerThread {
public:
    // Made on the window's thread. `wake` is called on a sending thread
    // after each message or report; it must make the window's thread call
    // drain() soon and must not wait for it.
    explicit MessageDispatch(SentMessageQueue::Wake wake);

    // Any thread: runs `handler` on the window's thread and returns its
    // result; another thread waits for it (0 once the window is closing).
    LParam send(const std::function<LParam()>& handler);

    // OwnerThread, on the link thread.
    void sendReport(Task task) override;
    void postReport(Task task) override;

    // Window's thread: runs what waits now; how many ran.
    int drain() { return queue_.drain(); }
    // Messages and reports waiting to run.
    size_t pending() const { return queue_.pending(); }
    // Window's thread, when it goes: nothing runs any more.
    void close() { queue_.close(); }

    // Window's thread: whether a stop is under way further down its stack.
    bool stopping() const { return phase_ == Phase::Stopping; }
    // Window's thread: `stopThreads` ends the link's threads and returns
    // once they have; then the reports from before their end run. False,
    // running nothing, when a stop is under way already.
    bool stopLink(const std::function<void()>& stopThreads);

private:
    enum class Phase { Running, Stopping };
    // The one transition: what each phase means for the link's reports.
    void enter(Phase next);
    bool onOwnThread() const { return std::this_thread::get_id() == ownThread_; }

    const std::thread::id ownThread_;
    SentMessageQueue queue_;
    Phase phase_ = Phase::Running;
};

}  // namespace orvix
