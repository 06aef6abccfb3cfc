#include "video/software_view.h"

#include <QPainter>
#include <QRegion>

#include "video/aspect_fit.h"

namespace orvix {

SoftwareView::SoftwareView(FrameHandOver& handOver, QWidget* parent) : QWidget(parent), handOver_(handOver) {
    connect(&handOver_, &FrameHandOver::frameReady, this, qOverload<>(&QWidget::update));
}

void SoftwareView::setRecordingMark(bool on) {
    if (on == recording_) return;
    recording_ = on;
    update();
}

QRect SoftwareView::pictureRect() const { return fitPicture(rect(), handOver_.latest().source.size()); }

void SoftwareView::paintEvent(QPaintEvent*) {
    const HandedFrame frame = handOver_.latest();
    if (frame.image.isNull() || frame.source.isEmpty()) return;
    const QRect target = fitPicture(rect(), frame.source.size());
    QPainter painter(this);
    for (const QRect& bar : QRegion(rect()).subtracted(target)) painter.fillRect(bar, Qt::black);
    const QImage& shown = shownPicture(frame, target.size());
    if (shown.isNull()) {
        painter.drawImage(target, frame.image, frame.source);
    } else {
        painter.drawImage(target.topLeft(), shown);
    }
    overlay_.paint(painter, target, frame.source.size(), frame.overlay, recording_);
}

const QImage& SoftwareView::shownPicture(const HandedFrame& frame, const QSize& size) {
    if (scaledSerial_ == frame.serial && scaled_.size() == size) return scaled_;
    scaledSerial_ = frame.serial;
    if (scaled_.size() != size) scaled_ = QImage(size, QImage::Format_RGB32);
    const QImage& source = frame.image;
    const bool usable = !scaled_.isNull() && source.format() == QImage::Format_RGB32 &&
                        QRect(QPoint(0, 0), source.size()).contains(frame.source);
    if (!usable ||
        !scaler_.scale(source.constScanLine(frame.source.y()) + static_cast<size_t>(frame.source.x()) * 4,
                       frame.source.width(), frame.source.height(), static_cast<int>(source.bytesPerLine()),
                       scaled_.bits(), scaled_.width(), scaled_.height(), static_cast<int>(scaled_.bytesPerLine()))) {
        // The painter scales it instead.
        scaled_ = QImage();
    }
    return scaled_;
}

}  // namespace orvix
