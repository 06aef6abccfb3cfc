#include "gui/frame_hand_over.h"

#include <QMetaObject>
#include <algorithm>

namespace orvix {

FrameHandOver::FrameHandOver(QObject* parent) : QObject(parent) {}

void FrameHandOver::post(const QImage& image, const QRect& source, const OverlayRows& overlay, const QSize& picture,
                         Notify wanted) {
    bool notify = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const QSize size = picture.isEmpty() ? source.size() : picture;
        const auto now = std::chrono::steady_clock::now();
        const bool due = wanted == Notify::Always || eager_.load() || size != latest_.picture ||
                         now - notifiedAt_ >= kSparingInterval;
        latest_.image = image;
        latest_.source = source;
        latest_.picture = size;
        latest_.overlay = overlay;
        ++latest_.serial;
        notify = due && !notifyPending_;
        if (notify) {
            notifyPending_ = true;
            notifiedAt_ = now;
        }
    }
    // Queued by name: the call event is then made by Qt alone, which keeps
    // a thread sanitizer (blind to Qt's event queue) from taking it for a race.
    if (notify) QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

HandedFrame FrameHandOver::latest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

void FrameHandOver::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    latest_.image = QImage();
    latest_.source = QRect();
    latest_.picture = QSize();
}

void FrameHandOver::setViewSize(const QSize& size) {
    const uint64_t width = static_cast<uint32_t>(std::max(size.width(), 0));
    const uint64_t height = static_cast<uint32_t>(std::max(size.height(), 0));
    viewSize_.store(width << 32 | height);
}

QSize FrameHandOver::viewSize() const {
    const uint64_t packed = viewSize_.load();
    return QSize(static_cast<int>(packed >> 32), static_cast<int>(packed & 0xffffffffu));
}

void FrameHandOver::deliver() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        notifyPending_ = false;
    }
    emit frameReady();
}

}  // namespace orvix
