// Positions of the controls of one tab page. Rows are measured from a base
// line B that stands for the bottom of the video window: row 1 has its top
// at B - 1, the first control of a row starts at left + 3 and each further
// control 1 pixel right of its neighbour's right edge. Every control keeps
// its size except the device combo, which reaches to 2 pixels inside
// `right`. Pure: sizes come from `sizeOf`.
#pragma once

#include <QRect>
#include <QSize>
#include <functional>
#include <vector>

namespace orvix {

struct PageFrame {
    int left = 0;    // left edge of the video window
    int right = 0;   // right edge of the video window (exclusive)
    int base = 0;    // B: the line the rows hang from
};

struct Placement {
    int id = 0;
    QRect rect;
};

// The controls shown on `page` (0-6); empty for any other index.
const std::vector<int>& pageControls(int page);
// Every control that belongs to some page.
const std::vector<int>& allPageControls();

// Where the controls of `page` go; empty for an index outside 0-6.
std::vector<Placement> placePage(int page, const PageFrame& frame, const std::function<QSize(int)>& sizeOf);

}  // namespace orvix
