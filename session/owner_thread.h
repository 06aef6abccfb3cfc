// The thread a session belongs to (the window's thread, a front end's loop),
// as the link thread reaches it: the session hands each of the link's
// reports over as a task to run there.
#pragma once

#include <functional>

namespace orvix {

class OwnerThread {
public:
    using Task = std::function<void()>;

    virtual ~OwnerThread() = default;
    // Link thread: runs `task` on the owner's thread and returns once it has
    // run, or once the owner lets such senders go on (while it stops the
    // link; the task still runs later).
    virtual void sendReport(Task task) = 0;
    // Link thread: runs `task` on the owner's thread later; returns at once.
    virtual void postReport(Task task) = 0;
};

// For owners without a thread of their own to serve (benchmarks, sinks that
// only count): each report runs at once on the link thread, so the events
// must be safe there, and what they change in the session is the owner's
// to read only once the threads have stopped.
class CallingThread final : public OwnerThread {
public:
    void sendReport(Task task) override { task(); }
    void postReport(Task task) override { task(); }
};

}  // namespace orvix
