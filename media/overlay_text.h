// The three overlay rows in a picture's top left corner, as plain data:
// layout, font, colours, positions and texts. The renderers only draw them.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/display_frame.h"
#include "media/renderer_kind.h"

namespace orvix {

// Colour values are 0x00BBGGRR.
constexpr uint32_t kOverlayYellow = 0x0000FFFF;  // rows 2 and 3
constexpr uint32_t kLiveColour = 0x00FF0000;     // row 1, live: blue
constexpr uint32_t kSearchColour = 0x000000FF;   // row 1, search: red

constexpr int colourRed(uint32_t colour) { return static_cast<int>(colour & 0xFF); }
constexpr int colourGreen(uint32_t colour) { return static_cast<int>((colour >> 8) & 0xFF); }
constexpr int colourBlue(uint32_t colour) { return static_cast<int>((colour >> 16) & 0xFF); }

struct OverlayFont {
    int height;  // pixels
    int width;   // average character width, pixels
    int weight;  // 700 is bold
};

constexpr OverlayFont kSmallFont{20, 13, 700};
constexpr OverlayFont kMediumFont{20, 26, 700};
constexpr OverlayFont kLargeFont{40, 26, 700};

enum class OverlayLayout {
    Cif,           // width 352 or 360: small font, rows at 3, 20, 37
    SmallPicture,  // height up to 300: medium font, rows at 3, 20, 38 (37 accelerated)
    LargePicture,  // otherwise: large font, rows at 3, 38, 73
};

OverlayLayout chooseOverlayLayout(int width, int height);
OverlayFont overlayFont(OverlayLayout layout);

// The line buffer every row is formatted into: 32 characters and the zero.
constexpr int kOverlayLineChars = 33;
constexpr int kOverlayX = 3;

struct OverlayRow {
    bool shown = false;
    int x = kOverlayX;
    int y = 0;
    uint32_t colour = kOverlayYellow;
    char16_t text[kOverlayLineChars]{};
    int length = 0;

    std::u16string_view view() const { return {text, static_cast<size_t>(length)}; }
};

struct OverlayRows {
    OverlayLayout layout = OverlayLayout::LargePicture;
    OverlayFont font = kLargeFont;
    OverlayRow rows[3];
};

// Whether two overlays draw the same: layout, and each row's place,
// colour and text (whatever lies past a row's length does not count).
bool sameOverlay(const OverlayRows& a, const OverlayRows& b);

// What the overlay shows besides the frame: the statistics flag (0: frame
// rate only) and the rates of the window's 4-second timer.
struct OverlayStats {
    int statistics = 0;
    uint32_t framesPerSecond = 0;
    uint32_t kilobytesPerSecond = 0;
};

// Row 1 (mode 0 live, 1 search; not shown for other modes) names the
// recorder and channel; a name too long for the line is cut so the channel
// still fits. Row 2 is the frame's date text, row 3 the rates.
OverlayRows buildOverlay(const DisplayFrame& frame, RendererKind renderer, const OverlayStats& stats);

}  // namespace orvix
