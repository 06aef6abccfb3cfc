// Messages sent to a window from other threads. Each sender waits until the
// window's thread has run its message, as with a synchronous window message.
// The window's thread runs them when it is woken, and also while it waits for
// something those senders may be holding up (the link thread sits inside a
// notification while the window stops it), so neither waits for the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvix {

class SentMessageQueue {
public:
    using Task = std::function<intptr_t()>;
    using Wake = std::function<void()>;
    // Asked on the window's thread before a message runs; while it says no,
    // the message stays queued (others run past it) and its sender waits.
    using Ready = std::function<bool()>;

    // `wake` is called on the sender's thread after each queued message; it
    // must make the window's thread call drain() soon (for example through a
    // queued call) and must not wait for it.
    explicit SentMessageQueue(Wake wake);
    ~SentMessageQueue();
    SentMessageQueue(const SentMessageQueue&) = delete;
    SentMessageQueue& operator=(const SentMessageQueue&) = delete;

    // Any thread but the window's: queues `task`, wakes the window and waits
    // until the task has run; returns its result. Returns 0 without running
    // it when the queue is closed before the window got to it.
    intptr_t send(Task task);
    // The same for a message that may have to wait for `ready`, and may be
    // released early by releaseRunning() when `releasable`.
    intptr_t send(Task task, Ready ready, bool releasable);
    // Any thread: queues `task` and wakes the window without waiting.
    void post(Task task);

    // Window's thread: runs the messages waiting now that are ready, one at
    // a time and with no lock held (a message may send further messages).
    // Returns how many ran.
    int drain();
    // Window's thread: waits `milliseconds`, running messages as they come.
    void waitHandling(int milliseconds);

    size_t pending() const;

    // Window's thread: the senders of releasable messages that are running
    // now (further down this thread's stack) stop waiting and get 0; their
    // handlers still run to their end. A thread that must stop while it sits
    // in such a send can then reach its next check.
    void releaseRunning();

    // Window's thread: no message runs any more; senders waiting now and
    // later get 0 at once.
    void close();

private:
    struct Item {
        Task task;
        Ready ready;
        bool releasable = false;
        intptr_t result = 0;
        bool done = false;
    };
    // Runs the first waiting message that is ready; false when there is none.
    bool runOne(std::unique_lock<std::mutex>& lock);

    Wake wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Item>> queue_;
    std::vector<std::shared_ptr<Item>> running_;  // innermost last
    uint64_t arrivals_ = 0;
    bool closed_ = false;
};

}  // namespace orvix
