// The part of a transparent layer that holds anything: drawing only that
// part over a picture spares blending the empty rest of it.
#pragma once

#include <QImage>
#include <QRect>

namespace orvix {

// The smallest rectangle holding every pixel of `layer` (a premultiplied
// ARGB image) that is not fully transparent; empty when there is none.
QRect paintedRect(const QImage& layer);

}  // namespace orvix
