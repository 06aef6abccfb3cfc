// Painting shared by the tiles of the grid and of the wall: a tile's
// picture in its display shape with black bars, and the selected tile's
// outline.
#pragma once

#include <QPainter>
#include <QRect>

#include "gui/grid_feed.h"

namespace orvix {

// The selected tile's frame, pixels; pictures go inside it.
constexpr int kTileOutline = 3;

// Paints `picture` as large as fits `inner` in its display shape (a plain
// copy when the feed scaled it to that size already), black over the rest
// of `tile`. Where the picture went; empty without one.
QRect paintTilePicture(QPainter& painter, const QRect& tile, const QRect& inner, const TilePicture& picture);

// The outline of a selected tile along its edge.
void paintTileOutline(QPainter& painter, const QRect& tile);

}  // namespace orvix
