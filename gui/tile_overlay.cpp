#include "gui/tile_overlay.h"

#include <QFont>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include "gui/outlined_text.h"
#include "media/overlay_text.h"

namespace orvix {
namespace {

// Tiles are small: their text's outline is a tenth of its line height.
constexpr double kOutlineDivisor = 10.0;

QColor colourOf(uint32_t colour) { return QColor(colourRed(colour), colourGreen(colour), colourBlue(colour)); }

QFont tileFont(int pixels) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(pixels);
    return font;
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
    const auto draw = [&](const QPointF& at, const QString& text, const QColor& colour) {
        drawOutlinedText(painter, font, at, text, colour, kOutlineDivisor);
    };
    draw(QPointF(x, baseline), texts.title,
         colourOf(texts.search ? kSearchColour : kLiveColour).lighter(texts.search ? 100 : 160));
    baseline += line;
    if (!texts.time.isEmpty()) draw(QPointF(x, baseline), texts.time, colourOf(kOverlayYellow));
    baseline += line;
    if (!texts.rates.isEmpty()) draw(QPointF(x, baseline), texts.rates, colourOf(kOverlayYellow));
    if (texts.recording) {
        const QString mark = QStringLiteral("REC");
        const int width = metrics.horizontalAdvance(mark);
        // On a dark band, as over the single view: it reads on a red picture too.
        const int pad = std::max(1, line / 8);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 150));
        painter.drawRoundedRect(QRectF(size.width() - width - x - pad, 2, width + 2 * pad, line), pad, pad);
        draw(QPointF(size.width() - width - x, 2 + metrics.ascent()), mark, QColor(255, 40, 40));
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
    drawOutlinedText(painter, font, baseline, text, QColor(220, 220, 220), kOutlineDivisor);
    painter.restore();
}

}  // namespace orvix
