// The arrangements of the wall's tiles: even grids of 1, 4, 9 or 16 tiles,
// and one large tile with 5 or 7 small ones along its right and bottom
// edges (1+5 on a 3 x 3 grid, 1+7 on a 4 x 4 grid). Pure.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

namespace orvix {

enum class WallArrangement { One, Four, Nine, Sixteen, OnePlusFive, OnePlusSeven };

// Every arrangement, in the order the wall offers them.
const std::vector<WallArrangement>& wallArrangements();
// "1", "4", "9", "16", "1+5", "1+7": as offered and as stored.
QString arrangementName(WallArrangement arrangement);
std::optional<WallArrangement> arrangementFromName(const QString& name);
int wallTileCount(WallArrangement arrangement);

// The tiles in `area`, the large one first, then row by row; cells share
// the area's width and height, the last column and row taking what is left.
std::vector<QRect> wallTileRects(const QRect& area, WallArrangement arrangement);
// The tile at `point`, -1 when outside every tile.
int wallTileAt(const QRect& area, WallArrangement arrangement, const QPoint& point);

}  // namespace orvix
