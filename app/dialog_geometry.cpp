#include "app/dialog_geometry.h"

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

}  // namespace orvix
