#include "bridge/loop_thread.h"

#include <glib.h>

namespace orvix::bridge {

LoopThread::LoopThread() : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {}

LoopThread::~LoopThread() {
    stop();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void LoopThread::start(std::function<void()> first, std::function<void()> last) {
    thread_ = std::thread([this, first = std::move(first), last = std::move(last)] {
        g_main_context_push_thread_default(context_);
        if (first) first();
        g_main_loop_run(loop_);
        if (last) last();
        g_main_context_pop_thread_default(context_);
    });
}

void LoopThread::stop() {
    if (!thread_.joinable()) return;
    // From the loop's own context: a quit before the loop runs would be lost.
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
}

}  // namespace orvix::bridge
