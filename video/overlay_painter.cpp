#include "video/overlay_painter.h"

#include <QColor>
#include <QFontMetrics>
#include <QString>
#include <algorithm>

namespace orvix {

OverlayPainter::OverlayPainter()
    : small_(makeFont(kSmallFont)), medium_(makeFont(kMediumFont)), large_(makeFont(kLargeFont)) {}

QFont OverlayPainter::makeFont(const OverlayFont& wanted) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(wanted.weight, 100, 900)));
    font.setPixelSize(wanted.height);
    // The heights are cell heights, not em sizes: shrink the em to fit.
    const int cell = QFontMetrics(font).height();
    if (cell > wanted.height) font.setPixelSize(std::max(1, wanted.height * wanted.height / cell));
    const int average = QFontMetrics(font).averageCharWidth();
    if (average > 0) font.setStretch(std::clamp(wanted.width * 100 / average, 1, 4000));
    return font;
}

const QFont& OverlayPainter::font(OverlayLayout layout) const {
    switch (layout) {
        case OverlayLayout::Cif: return small_;
        case OverlayLayout::SmallPicture: return medium_;
        case OverlayLayout::LargePicture: break;
    }
    return large_;
}

void OverlayPainter::draw(QPainter& painter, const OverlayRows& overlay) const {
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setFont(font(overlay.layout));
    const int ascent = painter.fontMetrics().ascent();
    for (const OverlayRow& row : overlay.rows) {
        if (!row.shown || row.length <= 0) continue;
        painter.setPen(QColor(colourRed(row.colour), colourGreen(row.colour), colourBlue(row.colour)));
        // Rows are placed by their top edge.
        painter.drawText(QPoint(row.x, row.y + ascent), QString::fromUtf16(row.text, row.length));
    }
}

}  // namespace orvix
