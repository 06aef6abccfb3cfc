#include "gui/aspect_fit.h"

#include <algorithm>
#include <cstdint>

namespace orvix {

QSize displayShape(const QSize& picture) {
    if (picture.isEmpty()) return QSize();
    if (picture.width() <= 720 && picture.height() <= 576) return QSize(4, 3);
    return picture;
}

QRect fitPicture(const QRect& area, const QSize& picture) {
    const QSize shape = displayShape(picture);
    if (area.isEmpty() || shape.isEmpty()) return QRect();
    // Widths and heights in 64 bits: the products of two sizes may not fit.
    const int64_t w = area.width();
    const int64_t h = area.height();
    int width = area.width();
    int height = area.height();
    if (w * shape.height() > h * shape.width()) {
        width = static_cast<int>(std::max<int64_t>(1, (h * shape.width() + shape.height() / 2) / shape.height()));
    } else {
        height = static_cast<int>(std::max<int64_t>(1, (w * shape.height() + shape.width() / 2) / shape.width()));
    }
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2, width, height);
}

QSize shownSize(const QSize& picture, int height) {
    const QSize shape = displayShape(picture);
    if (shape.isEmpty() || height <= 0) return QSize(1, 1);
    const int64_t width = (static_cast<int64_t>(height) * shape.width() + shape.height() / 2) / shape.height();
    return QSize(static_cast<int>(std::clamp<int64_t>(width, 1, 1 << 16)), height);
}

}  // namespace orvix
