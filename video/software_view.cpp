#include "video/software_view.h"

#include <QPainter>

namespace orvix {

SoftwareView::SoftwareView(FrameHandOver& handOver, QWidget* parent) : QWidget(parent), handOver_(handOver) {
    connect(&handOver_, &FrameHandOver::frameReady, this, qOverload<>(&QWidget::update));
}

void SoftwareView::paintEvent(QPaintEvent*) {
    const HandedFrame frame = handOver_.latest();
    if (frame.image.isNull() || frame.source.isEmpty()) return;
    QPainter painter(this);
    painter.drawImage(rect(), frame.image, frame.source);
}

}  // namespace orvix
