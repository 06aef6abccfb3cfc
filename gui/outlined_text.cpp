#include "gui/outlined_text.h"

#include <QFontMetrics>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace orvix {

void drawOutlinedText(QPainter& painter, const QFont& font, const QPointF& baseline, const QString& text,
                      const QColor& colour, double outlineDivisor) {
    if (text.isEmpty()) return;
    const double outline = std::max(1.0, std::round(QFontMetrics(font).height() / outlineDivisor));
    // The dark outline is the text drawn around its place in eight
    // directions: glyphs come from the font cache, where stroking the
    // glyphs' paths costs milliseconds for each line of text.
    static constexpr std::array<std::pair<double, double>, 8> kDirections{
        {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}}};
    painter.save();
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 0));
    for (const auto& [dx, dy] : kDirections) {
        // Diagonal steps a little shorter, so the outline is round.
        const double step = (dx != 0 && dy != 0) ? outline * 0.7071 : outline;
        painter.drawText(baseline + QPointF(dx * step, dy * step), text);
    }
    painter.setPen(colour);
    painter.drawText(baseline, text);
    painter.restore();
}

}  // namespace orvix
