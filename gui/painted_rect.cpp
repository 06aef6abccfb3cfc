#include "gui/painted_rect.h"

#include <QRgb>
#include <algorithm>

namespace orvix {

QRect paintedRect(const QImage& layer) {
    if (layer.format() != QImage::Format_ARGB32_Premultiplied) return layer.rect();
    int left = layer.width();
    int right = -1;
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < layer.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        int first = 0;
        while (first < layer.width() && qAlpha(row[first]) == 0) ++first;
        if (first == layer.width()) continue;
        int last = layer.width() - 1;
        while (qAlpha(row[last]) == 0) --last;
        left = std::min(left, first);
        right = std::max(right, last);
        if (top < 0) top = y;
        bottom = y;
    }
    if (top < 0) return QRect();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace orvix
