#include "tests/gui/window_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "link/wire_format.h"

namespace orvix::test {

bool processUntil(const std::function<bool()>& done, int guardMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > guardMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void runWhileProcessing(const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished.store(true);
    });
    // No guard here: the work's own time-outs end it.
    while (!finished.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    worker.join();
}

LParam CapturingOwner::sendMessage(uint32_t message, WParam wParam, LParam lParam) {
    Message m{message, wParam, lParam, 0, 0, QThread::currentThread() == QCoreApplication::instance()->thread()};
    if ((message == VWM_RECORD_INFO || message == VWM_SEARCH_INFO || message == VWM_RECORD_INFO_FAIL) &&
        wParam != 0) {
        const auto* payload = reinterpret_cast<const uint8_t*>(wParam);
        m.first = readLe32(payload);
        m.second = readLe32(payload + 4);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(m);
    }
    if (onMessage) onMessage(message);
    return 1;
}

std::vector<CapturingOwner::Message> CapturingOwner::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

size_t CapturingOwner::count(uint32_t message) const {
    const auto all = messages();
    return static_cast<size_t>(
        std::count_if(all.begin(), all.end(), [message](const Message& m) { return m.message == message; }));
}

int threadCount() {
    // A sanitizer may start a helper thread of its own with the first thread
    // the process creates; let that happen before anything is counted.
    static const bool helperStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)helperStarted;
    // Qt's own pool threads (image work it spreads over the cores) come and
    // go by themselves and are not the connection's.
    int count = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (name.open(QIODevice::ReadOnly) && name.readAll().startsWith("Thread (pooled)")) continue;
        ++count;
    }
    return count;
}

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test) {
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) count += test(image.pixel(x, y)) ? 1 : 0;
    }
    return count;
}

int countColour(const QImage& image, const QRect& area, QRgb colour, int tolerance) {
    return countPixels(image, area, [colour, tolerance](QRgb c) {
        return std::abs(qRed(c) - qRed(colour)) <= tolerance && std::abs(qGreen(c) - qGreen(colour)) <= tolerance &&
               std::abs(qBlue(c) - qBlue(colour)) <= tolerance;
    });
}

}  // namespace orvix::test
