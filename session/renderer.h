// What the display thread presents a finished picture through. Called on the
// display thread only; an implementation never touches a widget directly.
#pragma once

#include "link/display_frame.h"
#include "media/overlay_text.h"

namespace orvix {

class Renderer {
public:
    virtual ~Renderer() = default;
    // Draws the frame's picture (frame.picture, frame.width x frame.height,
    // frame.rowBytes apart) with the overlay rows on top. False when this
    // renderer cannot be used any more; the picture is then dropped.
    virtual bool present(const DisplayFrame& frame, const OverlayRows& overlay) = 0;
};

}  // namespace orvix
