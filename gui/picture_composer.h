// Puts a decoded picture into a back buffer at (0, 0), at its own size or
// already scaled to the size it is shown at; the views draw the overlay over
// it. The back buffer is 720 x 576 and grows for larger pictures. A few
// buffers take turns, so the one the GUI is still showing is not drawn into.
#pragma once

#include <QImage>
#include <QSize>

#include "gui/image_turns.h"
#include "link/display_frame.h"
#include "media/nearest_scaler.h"

namespace orvix {

class PictureComposer {
public:
    static constexpr int kBackBufferWidth = 720;
    static constexpr int kBackBufferHeight = 576;

    // Returns the back buffer holding the picture in (0, 0, width, height);
    // a null image when the frame has no picture. With a `shown` size other
    // than the picture's, the picture is scaled to it on the way (the view
    // then copies it without scaling) and fills (0, 0, shown).
    QImage compose(const DisplayFrame& frame, const QSize& shown = QSize());

private:
    ImageTurns buffers_{QSize(kBackBufferWidth, kBackBufferHeight)};
    NearestScaler scaler_;
};

}  // namespace orvix
