// Where the video window and the tab control go in the main dialog, from
// its client rectangle. Pure integer arithmetic, truncating toward zero.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

namespace orvix {

struct DialogGeometry {
    QRect video;  // the video window
    QRect tabs;   // the tab control: the video's width, the client's height
};

// Portrait (width < height): the video takes the whole width at 4:3.
// Otherwise the video is 40 pixels less than the client height, at 4:3.
// Both start at the client's top-left corner; the tabs below the video.
DialogGeometry dialogGeometry(const QRect& client);

// The window grown past its smallest client rectangle `smallest`: the tabs
// keep the height they have at that size, across the whole width at the
// bottom, and the video takes all the rest. Smaller clients are laid out as
// at `smallest`.
DialogGeometry grownGeometry(const QRect& client, const QSize& smallest);

// The window's remembered place and size, read from a file the user can
// edit, fitted to `screens` (their available areas) before they are used.
struct WindowPlace {
    std::optional<QPoint> position;
    std::optional<QSize> size;
};
// The size no larger than the largest screen, and no smaller than
// `smallest`; the place only where the title bar (40, 10 into the window)
// lies on a screen.
WindowPlace fitToScreens(std::optional<QPoint> position, std::optional<QSize> size, const QList<QRect>& screens,
                         const QSize& smallest);

}  // namespace orvix
