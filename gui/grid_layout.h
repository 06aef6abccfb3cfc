// The maths of the picture grid: which views a recorder is offered, the
// tiles of a view inside the video area, and which channels each group
// (page) of tiles shows. Pure.
#pragma once

#include <QRect>
#include <vector>

#include "core/channel_set.h"

namespace orvix {

// The views: 1, 4, 9 or 16 pictures.
constexpr int kGridViews[] = {1, 4, 9, 16};

// Whether `view` is one of the views.
bool isGridView(int view);
// The views a recorder with `cameras` cameras is offered: those with no
// more tiles than cameras (always the single view).
std::vector<int> offeredViews(int cameras);
// The largest offered view not above `view` (a remembered view on a
// recorder with fewer cameras).
int fittingView(int view, int cameras);
// Tiles across (and down) for `view`: 1, 2, 3 or 4.
int gridColumns(int view);

// The part of the video window `window` the grid takes: all but a band of
// `band` pixels along the bottom, where the status and info lines go, so
// that they never cover a tile (the whole window when it is no higher than
// twice the band).
QRect gridArea(const QRect& window, int band);

// The tiles of `view` in `area`, row by row; the columns and rows share the
// area's width and height, the last column and row taking what is left.
std::vector<QRect> tileRects(const QRect& area, int view);
// The tile at `point`, -1 when outside every tile.
int tileAt(const QRect& area, int view, const QPoint& point);
// The first of `tiles` that holds `point`, -1 when none does.
int tileIndexAt(const std::vector<QRect>& tiles, const QPoint& point);

// How many groups of `view` tiles the cameras fill (at least 1).
int groupCount(int cameras, int view);
// The group clamped to the groups there are.
int clampGroup(int group, int cameras, int view);
// The channels (0-based, in order) of group `group`: `view` channels from
// group * view on, fewer in the last group; empty when none.
ChannelSet groupChannels(int cameras, int view, int group);
// The group that shows `channel`.
int groupOf(int channel, int view);

}  // namespace orvix
