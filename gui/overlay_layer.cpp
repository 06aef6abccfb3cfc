#include "gui/overlay_layer.h"

#include <algorithm>
#include <cmath>

#include "gui/painted_rect.h"

namespace orvix {

void OverlayLayer::paint(QPainter& painter, const QRect& target, const QSize& picture, const OverlayRows& rows,
                         bool recording) {
    if (target.isEmpty() || picture.isEmpty()) return;
    if (!valid_ || target.size() != target_ || picture != picture_ || recording != recording_ ||
        !sameOverlay(rows, rows_)) {
        layOut(target.size(), picture, rows, recording);
    }
    if (!painted_.isEmpty()) painter.drawImage(target.topLeft() + painted_.topLeft(), image_, painted_);
}

void OverlayLayer::layOut(const QSize& target, const QSize& picture, const OverlayRows& rows, bool recording) {
    target_ = target;
    picture_ = picture;
    rows_ = rows;
    recording_ = recording;
    valid_ = true;
    ++layouts_;
    // Only the band the texts and the mark take along the top: the image
    // is blended over every picture, so it is kept small.
    const double scale = static_cast<double>(target.height()) / picture.height();
    int lowest = kSmallFont.height + 6;  // the recording mark's band
    for (const OverlayRow& row : rows.rows) {
        if (row.shown) lowest = std::max(lowest, row.y + overlayFont(rows.layout).height);
    }
    const QSize size(target.width(), std::min(target.height(), static_cast<int>(std::ceil(lowest * scale)) + 8));
    if (image_.size() != size) image_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    image_.fill(Qt::transparent);
    QPainter painter(&image_);
    painter_.draw(painter, rows, QPoint(0, 0), scale);
    if (recording) painter_.drawRecordingMark(painter, QRect(QPoint(0, 0), target), scale);
    painter.end();
    painted_ = paintedRect(image_);
}

}  // namespace orvix
