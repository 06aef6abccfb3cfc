// A small built-in 5 x 7 bitmap font for the overlay rows of snapshots: the
// printable ASCII characters, drawn scaled into a cell of the row's font
// height and average width. Other characters are drawn as a hollow box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/overlay_text.h"

namespace orvix::cli {

// A 32-bit picture in memory, bytes blue, green, red, unused per pixel.
struct PictureView {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int rowBytes = 0;
};

// The glyph's 5 columns, bit 0 the top row; null outside 0x20-0x7E.
const uint8_t* glyphColumns(char16_t character);

// Draws `text` with its top left corner at (x, y), each character in a cell
// of font.width x font.height pixels, in `colour` (0x00BBGGRR). Whatever
// falls outside the picture is left out.
void drawText(PictureView picture, int x, int y, std::u16string_view text, const OverlayFont& font, uint32_t colour);

// Draws the shown rows of an overlay onto the picture.
void drawOverlay(PictureView picture, const OverlayRows& overlay);

}  // namespace orvix::cli
