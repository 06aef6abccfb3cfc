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

namespace orvix {

class SentMessageQueue {
public:
    using Task = std::function<intptr_t()>;
    using Wake = std::function<void()>;

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

    // Window's thread: runs the messages waiting now, one at a time and with
    // no lock held (a message may send further messages). Returns how many ran.
    int drain();
    // Window's thread: waits `milliseconds`, running messages as they come.
    void waitHandling(int milliseconds);

    size_t pending() const;

    // Window's thread: no message runs any more; senders waiting now and
    // later get 0 at once.
    void close();

private:
    struct Item {
        Task task;
        intptr_t result = 0;
        bool done = false;
    };
    // Runs the first waiting message; false when there is none.
    bool runOne(std::unique_lock<std::mutex>& lock);

    Wake wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Item>> queue_;
    bool closed_ = false;
};

}  // namespace orvix
