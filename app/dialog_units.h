// Dialog units to pixels with the metrics of the dialog's font: a
// horizontal unit is a quarter of the average character width, a vertical
// unit an eighth of the font height.
#pragma once

#include <QFontMetrics>
#include <QSize>

namespace orvix {

struct DialogUnits {
    int charWidth = 4;
    int charHeight = 8;

    static DialogUnits of(const QFontMetrics& metrics) {
        DialogUnits units;
        units.charWidth = metrics.averageCharWidth() > 0 ? metrics.averageCharWidth() : 4;
        units.charHeight = metrics.height() > 0 ? metrics.height() : 8;
        return units;
    }
    int x(int units) const { return units * charWidth / 4; }
    int y(int units) const { return units * charHeight / 8; }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }
};

}  // namespace orvix
