#include "video/tile_overlay.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "video/overlay_text.h"

namespace orvix {
namespace {

QColor colourOf(uint32_t colour) { return QColor(colourRed(colour), colourGreen(colour), colourBlue(colour)); }

QFont tileFont(int pixels) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(pixels);
    return font;
}

// The text in its colour over a dark outline, as the single view draws it.
void drawOutlined(QPainter& painter, const QFont& font, const QPointF& baseline, const QString& text,
                  const QColor& colour) {
    QPainterPath path;
    path.addText(baseline, font, text);
    const double outline = std::max(1.0, std::round(QFontMetrics(font).height() / 10.0));
    painter.strokePath(path, QPen(QColor(0, 0, 0, 220), 2 * outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, colour);
}

}  // namespace

int TileOverlay::fontPixels(int height) { return std::clamp(height / 14, 9, 28); }

void TileOverlay::paint(QPainter& painter, const QRect& picture, const TileTexts& texts) {
    if (picture.isEmpty()) return;
    if (!valid_ || texts != texts_ || picture.size() != size_) layOut(picture.size(), texts);
    painter.drawImage(picture.topLeft(), image_);
}

void TileOverlay::layOut(const QSize& size, const TileTexts& texts) {
    texts_ = texts;
    size_ = size;
    valid_ = true;
    ++layouts_;
    const QFont font = tileFont(fontPixels(size.height()));
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    const int rows = texts.rates.isEmpty() ? 2 : 3;
    // Only as large as the rows need: the copy per picture stays small.
    image_ = QImage(QSize(size.width(), std::min(size.height(), line * rows + 6)), QImage::Format_ARGB32_Premultiplied);
    image_.fill(Qt::transparent);
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing);
    const int x = std::max(2, line / 4);
    int baseline = 2 + metrics.ascent();
    drawOutlined(painter, font, QPointF(x, baseline), texts.title,
                 colourOf(texts.search ? kSearchColour : kLiveColour).lighter(texts.search ? 100 : 160));
    baseline += line;
    if (!texts.time.isEmpty()) drawOutlined(painter, font, QPointF(x, baseline), texts.time, colourOf(kOverlayYellow));
    baseline += line;
    if (!texts.rates.isEmpty()) drawOutlined(painter, font, QPointF(x, baseline), texts.rates, colourOf(kOverlayYellow));
    if (texts.recording) {
        const QString mark = QStringLiteral("REC");
        const int width = metrics.horizontalAdvance(mark);
        drawOutlined(painter, font, QPointF(size.width() - width - x, 2 + metrics.ascent()), mark, QColor(255, 40, 40));
    }
}

void paintTileNotice(QPainter& painter, const QRect& tile, const QString& text) {
    if (tile.isEmpty()) return;
    const QFont font = tileFont(TileOverlay::fontPixels(tile.height()));
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    const QPointF baseline(tile.left() + std::max(2, (tile.width() - width) / 2),
                           tile.top() + (tile.height() - metrics.height()) / 2 + metrics.ascent());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(tile);
    drawOutlined(painter, font, baseline, text, QColor(220, 220, 220));
    painter.restore();
}

}  // namespace orvix
