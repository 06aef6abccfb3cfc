#include "gui/picture_composer.h"

namespace orvix {

QImage PictureComposer::compose(const DisplayFrame& frame, const QSize& shown) {
    if (frame.picture == nullptr) return QImage();
    // At its own size the scaler copies the rows as they are (the decoder's
    // bytes are blue, green, red, unused: 32-bit RGB as is).
    const QSize size = shown.isEmpty() ? QSize(frame.width, frame.height) : shown;
    QImage& buffer = buffers_.take(size);
    if (buffer.isNull() || !scaler_.scale(frame.picture, frame.width, frame.height, frame.rowBytes, buffer.bits(),
                                          size.width(), size.height(), static_cast<int>(buffer.bytesPerLine()))) {
        return QImage();
    }
    return buffer;
}

}  // namespace orvix
