#include "gui/tile_painting.h"

#include <QRegion>

#include "gui/aspect_fit.h"

namespace orvix {
namespace {

// White reads against every camera colour and the black bars.
const QColor kSelectedColour(255, 255, 255);

}  // namespace

QRect paintTilePicture(QPainter& painter, const QRect& tile, const QRect& inner, const TilePicture& picture) {
    QRect target;
    if (picture.serial != 0) target = fitPicture(inner, picture.source);
    for (const QRect& bar : QRegion(tile).subtracted(target)) painter.fillRect(bar, Qt::black);
    if (picture.serial == 0 || picture.image.isNull()) return target;
    if (picture.image.size() == target.size()) {
        // Scaled by the feed already: a plain copy.
        painter.drawImage(target.topLeft(), picture.image);
    } else {
        // The tile changed size since this picture was scaled; the next one
        // comes at the new size.
        painter.drawImage(target, picture.image);
    }
    return target;
}

void paintTileOutline(QPainter& painter, const QRect& tile) {
    painter.setPen(QPen(kSelectedColour, kTileOutline, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(
        QRectF(tile).adjusted(kTileOutline / 2.0, kTileOutline / 2.0, -kTileOutline / 2.0, -kTileOutline / 2.0));
}

}  // namespace orvix
