// Calls from other threads to a window's thread: messages, whose senders
// wait until the window's thread has run them, as with synchronous window
// messages, and the link's reports, whose senders wait likewise unless the
// window lets them go on (while it stops the link) or posts them. The
// window's thread runs them in order when it is woken.
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
    using Report = std::function<void()>;
    using Wake = std::function<void()>;

    // `wake` is called on the sender's thread after each queued call; it
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
    // Any thread but the window's: a report, waited for as a message is
    // while report senders are held (see holdReportSenders()).
    void sendReport(Report report);
    // Any thread: a report nobody waits for.
    void postReport(Report report);

    // Window's thread: runs the calls waiting now, one at a time, in order
    // and with no lock held (a call may send further ones). How many ran.
    int drain();
    // Window's thread: runs the reports waiting, in order, until none is
    // left; messages stay queued. How many ran.
    int drainReports();
    // Window's thread: while not held, report senders do not wait. Letting
    // them go releases those waiting now too, whether their report waits to
    // run or is running further down this thread's stack; the reports still
    // run, later. Held from the start.
    void holdReportSenders(bool hold);

    size_t pending() const;

    // Window's thread: nothing runs any more; senders waiting now and later
    // get 0 at once.
    void close();

private:
    struct Item {
        Task task;
        bool report = false;
        intptr_t result = 0;
        bool done = false;  // the sender may go on
    };
    static std::shared_ptr<Item> reportItem(Report report);
    // Queues `item`, wakes the window and waits for it to be done.
    intptr_t queue(const std::shared_ptr<Item>& item);
    // Runs the first waiting call (the first report when `reportsOnly`);
    // false when there is none.
    bool runOne(std::unique_lock<std::mutex>& lock, bool reportsOnly);

    Wake wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Item>> queue_;
    std::vector<std::shared_ptr<Item>> running_;  // innermost last
    bool holdReports_ = true;
    bool closed_ = false;
};

}  // namespace orvix
