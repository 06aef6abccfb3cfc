// Draws the overlay rows with QPainter: the three fonts, the colours and the
// row positions of the overlay data.
#pragma once

#include <QFont>
#include <QPainter>

#include "video/overlay_text.h"

namespace orvix {

class OverlayPainter {
public:
    OverlayPainter();  // makes the three fonts

    void draw(QPainter& painter, const OverlayRows& overlay) const;
    const QFont& font(OverlayLayout layout) const;

    // A bold sans-serif whose cell height (ascent plus descent) and average
    // character width come close to the given ones.
    static QFont makeFont(const OverlayFont& wanted);

private:
    QFont small_;
    QFont medium_;
    QFont large_;
};

}  // namespace orvix
