// The overlay of one view, laid out once and drawn again over every
// picture: the rows (and the recording mark) are drawn into a transparent
// image only when their texts, the mark or the shown size change, so a
// stream of pictures with the same texts costs one image copy each.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>

#include "gui/overlay_painter.h"
#include "media/overlay_text.h"

namespace orvix {

class OverlayLayer {
public:
    // GUI thread. The overlay of a picture of size `picture` shown in
    // `target`, scaled by the shown height over the picture's height.
    void paint(QPainter& painter, const QRect& target, const QSize& picture, const OverlayRows& rows,
               bool recording);
    // How many times the texts were laid out.
    int layouts() const { return layouts_; }

private:
    void layOut(const QSize& target, const QSize& picture, const OverlayRows& rows, bool recording);

    OverlayPainter painter_;
    QImage image_;
    QRect painted_;  // the part of image_ that holds anything
    OverlayRows rows_;
    QSize target_;
    QSize picture_;
    bool recording_ = false;
    bool valid_ = false;
    int layouts_ = 0;
};

}  // namespace orvix
