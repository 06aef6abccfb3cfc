#include "video/frame_hand_over.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace orvix {

FrameHandOver::FrameHandOver(QObject* parent) : QObject(parent) {}

void FrameHandOver::post(const QImage& image, const QRect& source) {
    bool notify = false;
    {
        QMutexLocker lock(&mutex_);
        latest_.image = image;
        latest_.source = source;
        ++latest_.serial;
        notify = !notifyPending_;
        notifyPending_ = true;
    }
    if (notify) QMetaObject::invokeMethod(this, &FrameHandOver::deliver, Qt::QueuedConnection);
}

HandedFrame FrameHandOver::latest() const {
    QMutexLocker lock(&mutex_);
    return latest_;
}

void FrameHandOver::clear() {
    QMutexLocker lock(&mutex_);
    latest_.image = QImage();
    latest_.source = QRect();
}

void FrameHandOver::deliver() {
    {
        QMutexLocker lock(&mutex_);
        notifyPending_ = false;
    }
    emit frameReady();
}

}  // namespace orvix
