#include "video/frame_hand_over.h"

#include <QMetaObject>

namespace orvix {

FrameHandOver::FrameHandOver(QObject* parent) : QObject(parent) {}

void FrameHandOver::post(const QImage& image, const QRect& source, const OverlayRows& overlay) {
    bool notify = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_.image = image;
        latest_.source = source;
        latest_.overlay = overlay;
        ++latest_.serial;
        notify = !notifyPending_;
        notifyPending_ = true;
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
}

void FrameHandOver::deliver() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        notifyPending_ = false;
    }
    emit frameReady();
}

}  // namespace orvix
