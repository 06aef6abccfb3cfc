// Text in its colour over a dark outline, so that it reads on any picture
// (the overlays of the single view and of the grid's tiles).
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPointF>
#include <QString>

namespace orvix {

// The outline is the font's line height divided by `outlineDivisor`
// (at least one pixel) wide on each side of the glyphs.
void drawOutlinedText(QPainter& painter, const QFont& font, const QPointF& baseline, const QString& text,
                      const QColor& colour, double outlineDivisor);

}  // namespace orvix
