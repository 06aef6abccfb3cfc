// A GLib main loop on a thread of its own, with a context of its own that
// is the thread's default while it runs (so that sources made there attach
// to it).
#pragma once

#include <functional>
#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace orvix::bridge {

class LoopThread {
public:
    LoopThread();
    ~LoopThread();
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;

    GMainContext* context() const { return context_; }

    // Runs the loop on a new thread: `first` before it and `last` after it,
    // on that thread.
    void start(std::function<void()> first = {}, std::function<void()> last = {});
    // Ends the loop, even one not running yet, and waits for the thread.
    void stop();

private:
    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;
};

}  // namespace orvix::bridge
