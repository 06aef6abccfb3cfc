// The compact overlay of one grid tile: the recorder's name and "CH 05",
// the recorder's time under it and, on request, the channel's rates and
// drops, each over a dark outline in a font that follows the tile's height.
// The rows are laid out into a transparent image only when a text, the
// mode or the tile's size changes (the time once a second), and that image
// is drawn over every picture.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

namespace orvix {

struct TileTexts {
    QString title;   // "NAME CH 05"
    QString time;    // empty before the first picture
    QString rates;   // empty: no rates row
    bool search = false;  // playback: the title in the search colour
    bool recording = false;

    bool operator==(const TileTexts&) const = default;
};

class TileOverlay {
public:
    // GUI thread: the rows at the top left of `picture` (the shown picture's
    // rectangle).
    void paint(QPainter& painter, const QRect& picture, const TileTexts& texts);
    // The font's pixel height for a picture `height` pixels high.
    static int fontPixels(int height);
    // How many times the rows were laid out.
    int layouts() const { return layouts_; }

private:
    void layOut(const QSize& size, const TileTexts& texts);

    QImage image_;
    TileTexts texts_;
    QSize size_;
    bool valid_ = false;
    int layouts_ = 0;
};

// A line across the middle of a tile without a picture ("CH 05 - no
// video"), drawn like the overlay's rows, and a `detail` line under it in
// grey; text wider than the tile goes on over further lines.
void paintTileNotice(QPainter& painter, const QRect& tile, const QString& text, const QString& detail = {});

}  // namespace orvix
