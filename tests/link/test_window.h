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
#include <thread>
#include <vector>

#include "link/link_notifier.h"
#include "link/link_shared.h"
#include "link/recorder_connection.h"

namespace orvix::test {

class TestWindow : public LinkNotifier {
public:
    struct Handled {
        uint32_t message = 0;
        int status = 0;  // the link status when the message was handled
        WParam wParam = 0;
        LParam lParam = 0;
        uint32_t first = 0;  // the two values a time-range payload carries
        uint32_t second = 0;
    };

    TestWindow();
    ~TestWindow() override;
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    // The connection whose socket VWM_SOCKET_RESET re-creates.
    void attach(RecorderConnection* connection) { connection_ = connection; }

    void notify(WindowMessage message, WParam wParam, LParam lParam) override;
    void showNetworkError() override;
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
    // On the window thread: handles what is sent to the window for `ms`.
    void pumpFor(int ms);

    // The link thread's VWM_REFRESH for `status` waits, before it reaches the
    // window, until a stop is requested: the link is inside a synchronous
    // notification when the stop begins.
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
    void handle(WindowMessage message, WParam wParam, LParam lParam);

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
