#include "gui/grid_layout.h"

#include <algorithm>

namespace orvix {

bool isGridView(int view) { return std::find(std::begin(kGridViews), std::end(kGridViews), view) != std::end(kGridViews); }

std::vector<int> offeredViews(int cameras) {
    std::vector<int> views;
    for (int view : kGridViews) {
        if (view == 1 || view <= cameras) views.push_back(view);
    }
    return views;
}

int fittingView(int view, int cameras) {
    int best = 1;
    for (int offered : offeredViews(cameras)) {
        if (offered <= view) best = offered;
    }
    return best;
}

QRect gridArea(const QRect& window, int band) {
    if (window.height() <= 2 * band) return window;
    return window.adjusted(0, 0, 0, -band);
}

int gridColumns(int view) {
    switch (view) {
    case 4: return 2;
    case 9: return 3;
    case 16: return 4;
    default: return 1;
    }
}

std::vector<QRect> tileRects(const QRect& area, int view) {
    const int columns = gridColumns(view);
    std::vector<QRect> tiles;
    if (area.isEmpty()) return tiles;
    tiles.reserve(static_cast<size_t>(columns * columns));
    for (int row = 0; row < columns; ++row) {
        const int top = area.top() + area.height() * row / columns;
        const int bottom = area.top() + area.height() * (row + 1) / columns;
        for (int column = 0; column < columns; ++column) {
            const int left = area.left() + area.width() * column / columns;
            const int right = area.left() + area.width() * (column + 1) / columns;
            tiles.emplace_back(left, top, right - left, bottom - top);
        }
    }
    return tiles;
}

int tileAt(const QRect& area, int view, const QPoint& point) { return tileIndexAt(tileRects(area, view), point); }

int tileIndexAt(const std::vector<QRect>& tiles, const QPoint& point) {
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (tiles[i].contains(point)) return static_cast<int>(i);
    }
    return -1;
}

int groupCount(int cameras, int view) {
    if (cameras <= 0 || view <= 0) return 1;
    return std::max(1, (std::min(cameras, kMaxChannels) + view - 1) / view);
}

int clampGroup(int group, int cameras, int view) { return std::clamp(group, 0, groupCount(cameras, view) - 1); }

ChannelSet groupChannels(int cameras, int view, int group) {
    ChannelSet set;
    if (view <= 0 || group < 0) return set;
    const int last = std::min(cameras, kMaxChannels);
    for (int channel = group * view; channel < last && channel < (group + 1) * view; ++channel) set.add(channel);
    return set;
}

int groupOf(int channel, int view) { return view > 0 && channel >= 0 ? channel / view : 0; }

}  // namespace orvix
