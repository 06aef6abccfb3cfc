// Draws the overlay rows with QPainter over a picture shown at any size:
// the layout's fonts, colours and row positions, scaled from the picture's
// pixels to the shown picture, each text over a dark outline so that it
// reads on bright and dark pictures alike.
#pragma once

#include <QFont>
#include <QPainter>
#include <QRect>

#include "media/overlay_text.h"

namespace orvix {

class OverlayPainter {
public:
    // The rows with their top left corner at `origin`, every size and
    // position multiplied by `scale` (shown height / picture height).
    void draw(QPainter& painter, const OverlayRows& overlay, const QPoint& origin, double scale);

    // A red dot and "REC" on a dark band in the top right corner of
    // `target`, in the small font at `scale`; `paused`: two amber bars and
    // "REC" in amber instead.
    void drawRecordingMark(QPainter& painter, const QRect& target, double scale, bool paused = false);

    // A bold sans-serif whose cell height (ascent plus descent) and average
    // character width come close to the given ones.
    static QFont makeFont(const OverlayFont& wanted);
    // The layout's font scaled (at least 1 pixel).
    static OverlayFont scaledFont(const OverlayFont& font, double scale);

private:
    const QFont& fontFor(OverlayLayout layout, double scale);

    double fontScale_ = 0;
    QFont fonts_[3];
};

}  // namespace orvix
