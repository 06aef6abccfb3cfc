#include "gui/status_line_painter.h"

#include <QColor>

#include "link/link_status.h"
#include "media/overlay_text.h"

namespace orvix {
namespace {

QColor colourOf(uint32_t colour) { return QColor(colourRed(colour), colourGreen(colour), colourBlue(colour)); }

void drawAt(QPainter& painter, int x, int y, uint32_t colour, const QString& text) {
    painter.setPen(colourOf(colour));
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()), text);
}

}  // namespace

void paintStatusLines(QPainter& painter, const QFont& font, int status, const QString& statusText,
                      const QString& infoText) {
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setFont(font);
    const StatusColours colours = statusColours(status);
    drawAt(painter, 1, 1, colours.shadow, statusText);
    drawAt(painter, 2, 2, colours.text, statusText);
    if (!infoText.isEmpty()) {
        drawAt(painter, 1, 20, kInfoShadowColour, infoText);
        drawAt(painter, 2, 20, kInfoTextColour, infoText);
    }
    painter.restore();
}

QFont statusLineFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(12);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

}  // namespace orvix
