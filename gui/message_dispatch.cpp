#include "gui/message_dispatch.h"

#include <utility>

namespace orvix {

MessageDispatch::MessageDispatch(SentMessageQueue::Wake wake)
    : ownThread_(std::this_thread::get_id()), queue_(std::move(wake)) {}

LParam MessageDispatch::send(const std::function<LParam()>& handler) {
    if (onOwnThread()) return handler();
    return queue_.send(handler);
}

void MessageDispatch::sendReport(Task task) {
    if (onOwnThread()) {
        task();
        return;
    }
    queue_.sendReport(std::move(task));
}

void MessageDispatch::postReport(Task task) { queue_.postReport(std::move(task)); }

bool MessageDispatch::stopLink(const std::function<void()>& stopThreads) {
    if (phase_ == Phase::Stopping) return false;
    enter(Phase::Stopping);
    stopThreads();
    queue_.drainReports();
    enter(Phase::Running);
    return true;
}

void MessageDispatch::enter(Phase next) {
    phase_ = next;
    // While stopping, the link thread must reach its end: no report of its
    // holds it, whether waiting to run or running further down the stack.
    queue_.holdReportSenders(next == Phase::Running);
}

}  // namespace orvix
