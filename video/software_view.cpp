#include "video/software_view.h"

#include <QPainter>
#include <QRegion>

#include "video/aspect_fit.h"

namespace orvix {

SoftwareView::SoftwareView(FrameHandOver& handOver, QWidget* parent) : QWidget(parent), handOver_(handOver) {
    // Every paint covers the whole view (picture and black bars): Qt need
    // not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    QPainter painter(this);
    if (frame.image.isNull() || frame.source.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = fitPicture(rect(), frame.source.size());
    for (const QRect& bar : QRegion(rect()).subtracted(target)) painter.fillRect(bar, Qt::black);
    painter.drawImage(target, frame.image, frame.source);
    overlay_.paint(painter, target, frame.source.size(), frame.overlay, recording_);
    presented_.painted(frame.serial);
}

}  // namespace orvix
