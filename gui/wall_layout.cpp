#include "gui/wall_layout.h"

#include "gui/grid_layout.h"

namespace orvix {
namespace {

struct Shape {
    WallArrangement arrangement;
    const char* name;
    int cells;  // cells across and down
    int large;  // cells across the large tile; 1 for an even grid
};

constexpr Shape kShapes[] = {
    {WallArrangement::One, "1", 1, 1},         {WallArrangement::Four, "4", 2, 1},
    {WallArrangement::Nine, "9", 3, 1},        {WallArrangement::Sixteen, "16", 4, 1},
    {WallArrangement::OnePlusFive, "1+5", 3, 2}, {WallArrangement::OnePlusSeven, "1+7", 4, 3},
};

const Shape& shapeOf(WallArrangement arrangement) {
    for (const Shape& shape : kShapes) {
        if (shape.arrangement == arrangement) return shape;
    }
    return kShapes[0];
}

// The edge before cell `index` of `cells` along `length` from `start`.
int edge(int start, int length, int index, int cells) { return start + length * index / cells; }

}  // namespace

const std::vector<WallArrangement>& wallArrangements() {
    static const std::vector<WallArrangement> all = [] {
        std::vector<WallArrangement> list;
        for (const Shape& shape : kShapes) list.push_back(shape.arrangement);
        return list;
    }();
    return all;
}

QString arrangementName(WallArrangement arrangement) { return QString::fromLatin1(shapeOf(arrangement).name); }

std::optional<WallArrangement> arrangementFromName(const QString& name) {
    for (const Shape& shape : kShapes) {
        if (name == QLatin1String(shape.name)) return shape.arrangement;
    }
    return std::nullopt;
}

int wallTileCount(WallArrangement arrangement) {
    const Shape& shape = shapeOf(arrangement);
    return shape.cells * shape.cells - shape.large * shape.large + 1;
}

std::vector<QRect> wallTileRects(const QRect& area, WallArrangement arrangement) {
    const Shape& shape = shapeOf(arrangement);
    if (shape.large == 1) return tileRects(area, shape.cells * shape.cells);
    std::vector<QRect> tiles;
    if (area.isEmpty()) return tiles;
    const auto cell = [&](int column, int row, int span) {
        const int left = edge(area.left(), area.width(), column, shape.cells);
        const int top = edge(area.top(), area.height(), row, shape.cells);
        const int right = edge(area.left(), area.width(), column + span, shape.cells);
        const int bottom = edge(area.top(), area.height(), row + span, shape.cells);
        return QRect(left, top, right - left, bottom - top);
    };
    tiles.push_back(cell(0, 0, shape.large));
    for (int row = 0; row < shape.cells; ++row) {
        for (int column = 0; column < shape.cells; ++column) {
            if (row < shape.large && column < shape.large) continue;
            tiles.push_back(cell(column, row, 1));
        }
    }
    return tiles;
}

int wallTileAt(const QRect& area, WallArrangement arrangement, const QPoint& point) {
    return tileIndexAt(wallTileRects(area, arrangement), point);
}

}  // namespace orvix
