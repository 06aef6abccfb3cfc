// Puts a decoded picture into a back buffer at (0, 0); the views draw the
// overlay over it at the size they show it. The back buffer is 720 x 576 and grows for larger pictures. A few
// buffers take turns, so the one the GUI is still showing is not drawn into.
#pragma once

#include <QImage>

#include "video/display_frame.h"

namespace orvix {

class PictureComposer {
public:
    static constexpr int kBackBufferWidth = 720;
    static constexpr int kBackBufferHeight = 576;

    // Returns the back buffer holding the picture in (0, 0, width, height);
    // a null image when the frame has no picture.
    QImage compose(const DisplayFrame& frame);

private:
    QImage& freeBuffer(int width, int height);

    static constexpr int kBuffers = 3;
    QImage buffers_[kBuffers];
    int next_ = 0;
};

}  // namespace orvix
