#include "gui/software_view.h"

#include <QPainter>
#include <QRegion>

#include "gui/aspect_fit.h"

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

QRect SoftwareView::pictureRect() const { return fitPicture(rect(), handOver_.latest().picture); }

void SoftwareView::resizeEvent(QResizeEvent*) { handOver_.setViewSize(size() * devicePixelRatio()); }

void SoftwareView::paintEvent(QPaintEvent*) {
    const HandedFrame frame = handOver_.latest();
    QPainter painter(this);
    if (frame.image.isNull() || frame.source.isEmpty() || frame.picture.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = fitPicture(rect(), frame.picture);
    for (const QRect& bar : QRegion(rect()).subtracted(target)) painter.fillRect(bar, Qt::black);
    if (frame.source.size() == target.size()) {
        // Scaled to this size on the display thread: a plain copy.
        painter.drawImage(target.topLeft(), frame.image, frame.source);
    } else {
        // A picture made before the view last changed size (or on a screen
        // of several device pixels per pixel).
        painter.drawImage(target, frame.image, frame.source);
    }
    overlay_.paint(painter, target, frame.picture, frame.overlay, recording_);
    presented_.painted(frame.serial);
}

}  // namespace orvix
