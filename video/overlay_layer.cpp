#include "video/overlay_layer.h"

namespace orvix {

void OverlayLayer::paint(QPainter& painter, const QRect& target, const QSize& picture, const OverlayRows& rows,
                         bool recording) {
    if (target.isEmpty() || picture.isEmpty()) return;
    if (!valid_ || target.size() != target_ || picture != picture_ || recording != recording_ ||
        !sameOverlay(rows, rows_)) {
        layOut(target.size(), picture, rows, recording);
    }
    painter.drawImage(target.topLeft(), image_);
}

void OverlayLayer::layOut(const QSize& target, const QSize& picture, const OverlayRows& rows, bool recording) {
    target_ = target;
    picture_ = picture;
    rows_ = rows;
    recording_ = recording;
    valid_ = true;
    ++layouts_;
    if (image_.size() != target) image_ = QImage(target, QImage::Format_ARGB32_Premultiplied);
    image_.fill(Qt::transparent);
    const double scale = static_cast<double>(target.height()) / picture.height();
    QPainter painter(&image_);
    painter_.draw(painter, rows, QPoint(0, 0), scale);
    if (recording) painter_.drawRecordingMark(painter, QRect(QPoint(0, 0), target), scale);
}

}  // namespace orvix
