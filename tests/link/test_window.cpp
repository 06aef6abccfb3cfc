#include "tests/link/test_window.h"

#include <algorithm>
#include <chrono>


namespace orvix::test {

TestWindow::TestWindow() : thread_([this] { loop(); }) {}

TestWindow::~TestWindow() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void TestWindow::statusChanged() {
    const LinkShared* shared = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (connection_ != nullptr && connection_->status.load() == holdStatus_) shared = holdShared_;
    }
    if (shared != nullptr) waitUntil([shared] { return shared->threadState.load() == kLinkStopRequested; });
    report(Handled{VWM_REFRESH});
}

void TestWindow::socketResetWanted() { report(Handled{VWM_SOCKET_RESET}); }

void TestWindow::connected(const RecorderDescription& recorder) {
    Handled h{VWM_CONNECTED};
    h.modelIndex = recorder.modelIndex;
    report(h);
}

void TestWindow::rangeKnown(RangeKind kind, const TimeRange& range) {
    report(Handled{kind == RangeKind::Record ? VWM_RECORD_INFO : VWM_SEARCH_INFO, 0, 1, range.start, range.end});
}

void TestWindow::rangeRefused(RangeKind, const std::optional<TimeRange>& values) {
    const TimeRange range = values.value_or(TimeRange{});
    report(Handled{VWM_RECORD_INFO_FAIL, 0, 0, range.start, range.end});
}

void TestWindow::networkError() {
    sendAndWait([this] {
        std::lock_guard<std::mutex> lock(mutex_);
        ++networkErrors_;
    });
}

void TestWindow::report(Handled entry) {
    sendAndWait([this, entry]() mutable {
        if (connection_ != nullptr) entry.status = connection_->status.load();
        if (entry.message == VWM_SOCKET_RESET && connection_ != nullptr) {
            connection_->socket.close();
            connection_->socket.create();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        handled_.push_back(entry);
    });
}

void TestWindow::linkEnded(const LinkEnd& end) {
    std::lock_guard<std::mutex> lock(mutex_);
    ends_.push_back(end);
}

void TestWindow::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    std::lock_guard<std::mutex> lock(mutex_);
    retries_.push_back({end.cause, delayMs, attempt});
}

std::vector<TestWindow::Retry> TestWindow::retries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return retries_;
}

std::vector<LinkEnd> TestWindow::ends() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ends_;
}

void TestWindow::run(const std::function<void()>& task) { sendAndWait(task); }

void TestWindow::post(std::function<void()> task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(item);
    cv_.notify_all();
}

void TestWindow::sendAndWait(std::function<void()> task) {
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(item);
    cv_.notify_all();
    cv_.wait(lock, [&item] { return item->done; });
}

bool TestWindow::runOne(std::unique_lock<std::mutex>& lock) {
    if (queue_.empty()) return false;
    auto item = queue_.front();
    queue_.pop_front();
    lock.unlock();
    item->task();
    lock.lock();
    item->done = true;
    cv_.notify_all();
    return true;
}

void TestWindow::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (!runOne(lock) && quit_) return;
    }
}

void TestWindow::pumpFor(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(mutex_);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!runOne(lock)) cv_.wait_until(lock, deadline, [this] { return !queue_.empty(); });
    }
}

void TestWindow::holdRefreshUntilStop(int status, const LinkShared* shared) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdStatus_ = status;
    holdShared_ = shared;
}

std::vector<TestWindow::Handled> TestWindow::handled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handled_;
}

std::vector<int> TestWindow::refreshStatuses() const {
    std::vector<int> statuses;
    for (const auto& h : handled())
        if (h.message == VWM_REFRESH) statuses.push_back(h.status);
    return statuses;
}

size_t TestWindow::count(uint32_t message) const {
    const auto all = handled();
    return static_cast<size_t>(std::count_if(all.begin(), all.end(), [message](const Handled& h) {
        return h.message == message;
    }));
}

int TestWindow::networkErrors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return networkErrors_;
}

void TestWindow::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    handled_.clear();
    networkErrors_ = 0;
    ends_.clear();
    retries_.clear();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace orvix::test
