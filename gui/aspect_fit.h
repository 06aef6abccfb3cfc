// Where a picture goes in an area of another shape: as large as fits,
// centred, keeping the picture's aspect ratio, with black bars around.
#pragma once

#include <QRect>
#include <QSize>

namespace orvix {

// The shape a picture is meant to be seen in. Pictures of the standard
// television sizes (up to 720 x 576: CIF, D1 and their halves) are made of
// non-square pixels and fill a 4:3 screen; larger ones have square pixels.
QSize displayShape(const QSize& picture);

// The largest rectangle of the picture's display shape inside `area`,
// centred; empty for an empty area or picture.
QRect fitPicture(const QRect& area, const QSize& picture);

// The size a picture is shown at when `height` pixels high: its display
// shape scaled to that height (at least 1 x 1).
QSize shownSize(const QSize& picture, int height);

}  // namespace orvix
