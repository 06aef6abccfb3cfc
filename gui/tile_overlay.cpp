#include "gui/tile_overlay.h"

#include <QFont>
#include <QFontMetrics>
#include <QStringList>
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
// `text` in lines no wider than `width`, broken between words (a word
// wider than that on a line of its own).
QStringList wrappedLines(const QFontMetrics& metrics, const QString& text, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines.append(line);
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty()) lines.append(line);
    return lines;
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

void paintTileNotice(QPainter& painter, const QRect& tile, const QString& text, const QString& detail) {
    if (tile.isEmpty()) return;
    const QFont font = tileFont(TileOverlay::fontPixels(tile.height()));
    const QFontMetrics metrics(font);
    const int margin = std::max(2, metrics.height() / 4);
    const QStringList lines = wrappedLines(metrics, text, tile.width() - 2 * margin);
    const QStringList details = wrappedLines(metrics, detail, tile.width() - 2 * margin);
    const int count = static_cast<int>(lines.size() + details.size());
    int top = tile.top() + std::max(0, (tile.height() - metrics.height() * count) / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(tile);
    for (int i = 0; i < count; ++i) {
        const bool main = i < lines.size();
        const QString& line = main ? lines[i] : details[i - static_cast<int>(lines.size())];
        const int width = metrics.horizontalAdvance(line);
        const QPointF baseline(tile.left() + std::max(margin, (tile.width() - width) / 2), top + metrics.ascent());
        drawOutlinedText(painter, font, baseline, line, main ? QColor(220, 220, 220) : QColor(160, 160, 160),
                         kOutlineDivisor);
        top += metrics.height();
    }
    painter.restore();
}

}  // namespace orvix
