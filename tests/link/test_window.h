// The video window as the link sees it, for tests: a thread of its own that
// handles the link's synchronous notifications one at a time (the link
// thread waits meanwhile) and runs tasks such as the stop sequence, during
// which it keeps handling notifications, as the real window does.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/window_messages.h"
#include "link/link_notifier.h"
#include "link/link_shared.h"
#include "link/recorder_connection.h"

namespace orvix::test {

class TestWindow : public LinkNotifier {
public:
    // A report as the window message it stands for.
    struct Handled {
        uint32_t message = 0;
        int status = 0;  // the link status when the report was handled
        LParam lParam = 0;   // 1 for a usable range, else 0
        uint32_t first = 0;  // the two times a range report carries
        uint32_t second = 0;
        int32_t modelIndex = -1;  // of a connected() report
    };

    TestWindow();
    ~TestWindow() override;
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    // The connection whose socket VWM_SOCKET_RESET re-creates.
    void attach(RecorderConnection* connection) { connection_ = connection; }

    void statusChanged() override;
    void socketResetWanted() override;
    void connected(const RecorderDescription& recorder) override;
    void rangeKnown(RangeKind kind, const TimeRange& range) override;
    void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) override;
    void networkError() override;
    // Kept without waiting for the window thread, as the link posts it.
    void linkEnded(const LinkEnd& end) override;
    struct Retry {
        LinkEndCause cause = LinkEndCause::None;
        int delayMs = 0;
        int attempt = 0;
    };
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;
    // The reconnects posted so far, in order.
    std::vector<Retry> retries() const;

    // Runs `task` on the window thread and waits until it is done.
    void run(const std::function<void()>& task);
    // Runs `task` on the window thread later.
    void post(std::function<void()> task);
    // On the window thread: handles what is sent to the window for `ms`.
    void pumpFor(int ms);

    // The link thread's statusChanged() for `status` waits, before it reaches
    // the window, until a stop is requested: the link is inside a synchronous
    // report when the stop begins.
    void holdRefreshUntilStop(int status, const LinkShared* shared);

    std::vector<Handled> handled() const;
    std::vector<int> refreshStatuses() const;
    size_t count(uint32_t message) const;
    int networkErrors() const;
    // The link ends posted so far, in order.
    std::vector<LinkEnd> ends() const;
    // Forgets what was handled, the boxes and the ends.
    void clear();

private:
    struct Item {
        std::function<void()> task;
        bool done = false;
    };
    void sendAndWait(std::function<void()> task);
    void loop();
    // Pops and runs one item; false when none was waiting.
    bool runOne(std::unique_lock<std::mutex>& lock);
    // On the link thread: `entry` reaches the window, which keeps it.
    void report(Handled entry);

    RecorderConnection* connection_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Item>> queue_;
    bool quit_ = false;
    std::vector<Handled> handled_;
    int networkErrors_ = 0;
    std::vector<LinkEnd> ends_;
    std::vector<Retry> retries_;
    int holdStatus_ = -1;
    const LinkShared* holdShared_ = nullptr;
    std::thread thread_;
};

// Polls `condition` until it holds; false after `timeoutMs` (a guard against
// hanging, not a timing check).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

}  // namespace orvix::test
