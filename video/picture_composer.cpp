#include "video/picture_composer.h"

#include <algorithm>
#include <cstring>

namespace orvix {

QImage& PictureComposer::freeBuffer(int width, int height) {
    // A buffer nobody else holds any more; if all are held, the next one in
    // turn (drawing into it then gives it a copy of its own).
    int chosen = next_;
    for (int i = 0; i < kBuffers; ++i) {
        const int index = (next_ + i) % kBuffers;
        if (buffers_[index].isNull() || buffers_[index].isDetached()) {
            chosen = index;
            break;
        }
    }
    next_ = (chosen + 1) % kBuffers;
    QImage& buffer = buffers_[chosen];
    if (buffer.isNull() || buffer.width() < width || buffer.height() < height) {
        buffer = QImage(std::max(width, kBackBufferWidth), std::max(height, kBackBufferHeight), QImage::Format_RGB32);
        buffer.fill(Qt::black);
    }
    return buffer;
}

QImage PictureComposer::compose(const DisplayFrame& frame, const QSize& shown) {
    if (frame.picture == nullptr || frame.width <= 0 || frame.height <= 0 || frame.rowBytes < frame.width * 4) {
        return QImage();
    }
    if (shown.isValid() && !shown.isEmpty() && shown != QSize(frame.width, frame.height)) {
        QImage& buffer = freeBuffer(shown.width(), shown.height());
        if (buffer.isNull() || !scaler_.scale(frame.picture, frame.width, frame.height, frame.rowBytes, buffer.bits(),
                                              shown.width(), shown.height(), static_cast<int>(buffer.bytesPerLine()))) {
            return QImage();
        }
        return buffer;
    }
    QImage& buffer = freeBuffer(frame.width, frame.height);
    if (buffer.isNull()) return QImage();
    // The decoder's bytes are blue, green, red, unused: 32-bit RGB as is.
    const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
    for (int y = 0; y < frame.height; ++y) {
        std::memcpy(buffer.scanLine(y), frame.picture + static_cast<size_t>(y) * frame.rowBytes, rowBytes);
    }
    return buffer;
}

}  // namespace orvix
