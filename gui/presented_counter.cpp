#include "gui/presented_counter.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvix {

namespace {

std::atomic<uint64_t> gPresented{0};
// Read from a signal handler: it must not take a lock.
static_assert(std::atomic<uint64_t>::is_always_lock_free);

// Only async-signal-safe calls: the line is built by hand and written whole.
void writeReport() {
    char line[64];
    char digits[24];
    int count = 0;
    uint64_t n = gPresented.load(std::memory_order_relaxed);
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    size_t length = 0;
    for (const char c : "displayed ") {
        if (c != 0) line[length++] = c;
    }
    while (count > 0) line[length++] = digits[--count];
    for (const char c : " pictures\n") {
        if (c != 0) line[length++] = c;
    }
    const int savedErrno = errno;
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, length);
    errno = savedErrno;
}

void onReportSignal(int) { writeReport(); }

}  // namespace

void PresentedCounter::painted(uint64_t serial) {
    if (serial == 0 || serial == lastSerial_) return;
    lastSerial_ = serial;
    gPresented.fetch_add(1, std::memory_order_relaxed);
}

uint64_t PresentedCounter::total() { return gPresented.load(std::memory_order_relaxed); }

bool enablePresentedReport() {
    const char* value = std::getenv("ORVIX_STATS");
    if (value == nullptr || value[0] == 0 || std::strcmp(value, "0") == 0) return false;
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = onReportSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGUSR1, &action, nullptr);
        std::atexit(writeReport);
        return true;
    }();
    return installed;
}

}  // namespace orvix
