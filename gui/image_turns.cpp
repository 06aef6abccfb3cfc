#include "gui/image_turns.h"

namespace orvix {

bool ImageTurns::fits(const QImage& image, const QSize& size) const {
    if (image.isNull()) return false;
    if (floor_.isEmpty()) return image.size() == size;
    return image.width() >= size.width() && image.height() >= size.height();
}

QImage& ImageTurns::take(const QSize& size) {
    if (size.isEmpty()) {
        none_ = QImage();
        return none_;
    }
    // The first free image that fits, else the first free one, else the
    // next in turn.
    int chosen = -1;
    for (int i = 0; i < kImages; ++i) {
        const int index = (next_ + i) % kImages;
        const QImage& image = images_[static_cast<size_t>(index)];
        if (!image.isNull() && !image.isDetached()) continue;  // held elsewhere
        if (fits(image, size)) {
            chosen = index;
            break;
        }
        if (chosen < 0) chosen = index;
    }
    if (chosen < 0) chosen = next_;
    next_ = (chosen + 1) % kImages;
    QImage& image = images_[static_cast<size_t>(chosen)];
    if (!image.isDetached() || !fits(image, size)) {
        image = QImage(size.expandedTo(floor_), QImage::Format_RGB32);
        if (!image.isNull()) image.fill(Qt::black);
    }
    return image;
}

}  // namespace orvix
