#include "tools/recorder_sim/picture_canvas.h"

#include <algorithm>

namespace orvix::sim {
namespace {

struct Glyph {
    char character;
    uint8_t rows[7];  // five columns each, most significant of the five bits first
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
};

// Segments a (top), b (top right), c (bottom right), d (bottom), e (bottom
// left), f (top left), g (middle) as bits 0-6.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

const Glyph* glyphFor(char c) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.character == c) return &glyph;
    }
    return nullptr;
}

}  // namespace

Rgb darker(Rgb c, double factor) {
    auto scale = [factor](uint8_t v) { return static_cast<uint8_t>(std::clamp(v * factor, 0.0, 255.0)); };
    return {scale(c.r), scale(c.g), scale(c.b)};
}

void Canvas::fill(Rgb colour) { fillRect({0, 0, width_, height_}, colour); }

void Canvas::fillRect(const Rect& rect, Rgb colour) {
    const int x0 = std::max(rect.x, 0), y0 = std::max(rect.y, 0);
    const int x1 = std::min(rect.x + rect.width, width_), y1 = std::min(rect.y + rect.height, height_);
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = pixels_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x0) * 4;
        for (int x = x0; x < x1; ++x, p += 4) {
            p[0] = colour.b;
            p[1] = colour.g;
            p[2] = colour.r;
            p[3] = 0;
        }
    }
}

void Canvas::fillDisc(int cx, int cy, int radius, Rgb colour) {
    if (radius <= 0) return;
    const long r2 = static_cast<long>(radius) * radius;
    for (int dy = -radius; dy <= radius; ++dy) {
        int half = 0;
        while (static_cast<long>(half + 1) * (half + 1) + static_cast<long>(dy) * dy <= r2) ++half;
        fillRect({cx - half, cy + dy, 2 * half + 1, 1}, colour);
    }
}

void Canvas::sevenSegmentDigit(const Rect& box, int digit, Rgb colour) {
    if (digit < 0 || digit > 9) return;
    const int t = std::max(2, box.width / 5);  // segment thickness
    const int midY = box.y + (box.height - t) / 2;
    const int innerHeight = (box.height - t) / 2;
    const uint8_t bits = kSegments[digit];
    const Rect segments[7] = {
        {box.x, box.y, box.width, t},                              // a
        {box.x + box.width - t, box.y, t, innerHeight + t},        // b
        {box.x + box.width - t, midY, t, box.height - (midY - box.y)},  // c
        {box.x, box.y + box.height - t, box.width, t},             // d
        {box.x, midY, t, box.height - (midY - box.y)},             // e
        {box.x, box.y, t, innerHeight + t},                        // f
        {box.x, midY, box.width, t},                               // g
    };
    for (int i = 0; i < 7; ++i) {
        if (bits & (1u << i)) fillRect(segments[i], colour);
    }
}

void Canvas::text(int x, int y, int scale, std::string_view text, Rgb colour) {
    for (char c : text) {
        if (const Glyph* glyph = glyphFor(c)) {
            for (int row = 0; row < kFontHeight; ++row) {
                for (int column = 0; column < 5; ++column) {
                    if (glyph->rows[row] & (0x10 >> column))
                        fillRect({x + column * scale, y + row * scale, scale, scale}, colour);
                }
            }
        }
        x += 6 * scale;
    }
}

}  // namespace orvix::sim
