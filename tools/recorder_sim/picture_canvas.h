// Drawing into a picture of B,G,R,X bytes (the client's RGB32 layout):
// rectangles, discs, seven-segment digits and a 5x7 bitmap font. Everything
// is clipped to the picture.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvix::sim {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// `factor` in 0..1: the colour darkened towards black.
Rgb darker(Rgb colour, double factor);

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

class Canvas {
public:
    Canvas(uint8_t* bgrx, int width, int height, int stride)
        : pixels_(bgrx), width_(width), height_(height), stride_(stride) {}

    int width() const { return width_; }
    int height() const { return height_; }

    void fill(Rgb colour);
    void fillRect(const Rect& rect, Rgb colour);
    void fillDisc(int centreX, int centreY, int radius, Rgb colour);
    void horizontalLine(int y, Rgb colour) { fillRect({0, y, width_, 1}, colour); }
    void verticalLine(int x, Rgb colour) { fillRect({x, 0, 1, height_}, colour); }

    // One digit 0-9 as seven segments filling `box`.
    void sevenSegmentDigit(const Rect& box, int digit, Rgb colour);
    // Text in the 5x7 font, each font pixel `scale` pixels square, characters
    // 6 font pixels apart. Knows 0-9, ':', '-', ' ' and A B C E I K L P V Y;
    // other characters are left blank.
    void text(int x, int y, int scale, std::string_view text, Rgb colour);

private:
    uint8_t* pixels_;
    int width_, height_, stride_;
};

// Width in pixels of `length` characters of the 5x7 font at `scale`.
constexpr int textWidth(int length, int scale) { return length > 0 ? (length * 6 - 1) * scale : 0; }
constexpr int kFontHeight = 7;

}  // namespace orvix::sim
