#include "gui/overlay_painter.h"

#include <QColor>
#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <cmath>

#include "gui/outlined_text.h"

namespace orvix {
namespace {

// The outline is a fourteenth of the text's line height.
constexpr double kOutlineDivisor = 14.0;

QColor colourOf(uint32_t colour) { return QColor(colourRed(colour), colourGreen(colour), colourBlue(colour)); }

int indexOf(OverlayLayout layout) {
    switch (layout) {
        case OverlayLayout::Cif: return 0;
        case OverlayLayout::SmallPicture: return 1;
        case OverlayLayout::LargePicture: break;
    }
    return 2;
}
}  // namespace

OverlayFont OverlayPainter::scaledFont(const OverlayFont& font, double scale) {
    return OverlayFont{std::max(1, static_cast<int>(std::lround(font.height * scale))),
                       std::max(1, static_cast<int>(std::lround(font.width * scale))), font.weight};
}

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

const QFont& OverlayPainter::fontFor(OverlayLayout layout, double scale) {
    if (scale != fontScale_) {
        fontScale_ = scale;
        fonts_[0] = makeFont(scaledFont(kSmallFont, scale));
        fonts_[1] = makeFont(scaledFont(kMediumFont, scale));
        fonts_[2] = makeFont(scaledFont(kLargeFont, scale));
    }
    return fonts_[indexOf(layout)];
}

void OverlayPainter::draw(QPainter& painter, const OverlayRows& overlay, const QPoint& origin, double scale) {
    if (!(scale > 0)) return;
    const QFont& font = fontFor(overlay.layout, scale);
    const int ascent = QFontMetrics(font).ascent();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const OverlayRow& row : overlay.rows) {
        if (!row.shown || row.length <= 0) continue;
        // Rows are placed by their top edge.
        const QPointF baseline(origin.x() + row.x * scale, origin.y() + row.y * scale + ascent);
        drawOutlinedText(painter, font, baseline, QString::fromUtf16(row.text, row.length), colourOf(row.colour),
                         kOutlineDivisor);
    }
    painter.restore();
}

void OverlayPainter::drawRecordingMark(QPainter& painter, const QRect& target, double scale, bool paused) {
    if (!(scale > 0)) return;
    // The small overlay font, on a dark band so that it reads on red too.
    const QFont& font = fontFor(OverlayLayout::Cif, scale);
    const QFontMetrics metrics(font);
    const QString text = QStringLiteral("REC");
    const int pad = std::max(2, static_cast<int>(std::lround(3 * scale)));
    const int dot = std::max(4, metrics.ascent() * 3 / 5);
    const int width = pad + dot + pad + metrics.horizontalAdvance(text) + pad;
    const int height = metrics.height() + pad;
    const QRect band(target.right() + 1 - pad - width, target.top() + pad, width, height);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRoundedRect(band, pad, pad);
    const QColor colour = paused ? QColor(240, 176, 24) : QColor(240, 24, 24);
    painter.setBrush(colour);
    const QRect sign(band.left() + pad, band.top() + (height - dot) / 2, dot, dot);
    if (paused) {
        const int bar = std::max(1, dot / 3);
        painter.drawRect(QRect(sign.left(), sign.top(), bar, dot));
        painter.drawRect(QRect(sign.right() + 1 - bar, sign.top(), bar, dot));
    } else {
        painter.drawEllipse(sign);
    }
    const QPointF baseline(band.left() + pad + dot + pad, band.top() + pad / 2 + metrics.ascent());
    drawOutlinedText(painter, font, baseline, text, colour, kOutlineDivisor);
    painter.restore();
}

}  // namespace orvix
