#include "gui/status_band.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "gui/painted_rect.h"
#include "gui/status_line_painter.h"

namespace orvix {

StatusBand::StatusBand() : font_(statusLineFont()) {}

const QImage& StatusBand::image(const StatusLines& lines, const QSize& size, qreal ratio) {
    if (layouts_ > 0 && size == size_ && laidOut_.devicePixelRatio() == ratio && lines == shown_) return laidOut_;
    shown_ = lines;
    size_ = size;
    ++layouts_;
    laidOut_ = QImage((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    laidOut_.setDevicePixelRatio(ratio);
    laidOut_.fill(Qt::transparent);
    QPainter painter(&laidOut_);
    const QFontMetrics metrics(font_);
    const int textWidth =
        std::max(metrics.horizontalAdvance(lines.statusText), metrics.horizontalAdvance(lines.infoText));
    const int bandHeight = lines.infoText.isEmpty() ? 20 : size.height();
    painter.fillRect(QRect(0, 0, textWidth + 8, bandHeight), QColor(0, 0, 0, 150));
    paintStatusLines(painter, font_, lines.status, lines.statusText, lines.infoText);
    painter.end();
    painted_ = paintedRect(laidOut_);
    return laidOut_;
}

}  // namespace orvix
