#include "app/dialog_geometry.h"

#include <algorithm>
#include <cstdint>

namespace orvix {

DialogGeometry dialogGeometry(const QRect& client) {
    const int w = client.width();
    const int h = client.height();
    int videoWidth = 0;
    int videoHeight = 0;
    if (w < h) {
        videoWidth = w;
        videoHeight = 3 * w / 4;
    } else {
        videoHeight = h - 40;
        videoWidth = 4 * (h - 40) / 3;
    }
    DialogGeometry geometry;
    geometry.video = QRect(client.left(), client.top(), videoWidth, videoHeight);
    geometry.tabs = QRect(client.left(), client.top() + videoHeight, videoWidth, h);
    return geometry;
}

DialogGeometry grownGeometry(const QRect& client, const QSize& smallest) {
    const DialogGeometry least = dialogGeometry(QRect(QPoint(0, 0), smallest));
    const int tabsHeight = smallest.height() - least.video.height();
    const int width = std::max(client.width(), smallest.width());
    const int height = std::max(client.height(), smallest.height());
    DialogGeometry geometry;
    geometry.video = QRect(client.left(), client.top(), width, height - tabsHeight);
    geometry.tabs = QRect(client.left(), client.top() + height - tabsHeight, width, tabsHeight);
    return geometry;
}

WindowPlace fitToScreens(std::optional<QPoint> position, std::optional<QSize> size, const QList<QRect>& screens,
                         const QSize& smallest) {
    WindowPlace place;
    if (size && size->isValid()) {
        QSize largest;
        for (const QRect& screen : screens) largest = largest.expandedTo(screen.size());
        place.size = size->boundedTo(largest).expandedTo(smallest);
    }
    if (position) {
        // In 64 bits: a stored place may be at the very end of int's range.
        const int64_t x = int64_t{position->x()} + 40;
        const int64_t y = int64_t{position->y()} + 10;
        for (const QRect& screen : screens) {
            if (x >= screen.left() && x <= screen.right() && y >= screen.top() && y <= screen.bottom()) {
                place.position = position;
            }
        }
    }
    return place;
}

}  // namespace orvix
