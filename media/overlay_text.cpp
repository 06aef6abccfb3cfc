#include "media/overlay_text.h"

#include <cstdio>

#include "media/text_line.h"

namespace orvix {
namespace {

std::u16string_view frameName(const DisplayFrame& frame) { return frame.name; }

std::u16string_view frameDate(const DisplayFrame& frame) {
    size_t length = 0;
    while (length < kDateTextChars && frame.dateText[length] != 0) ++length;
    return {frame.dateText, length};
}

void formatRowOne(OverlayRow& row, const DisplayFrame& frame, int mode, bool accelerated) {
    const char* prefix = mode == 0 ? (accelerated ? "LIVE D " : "LIVE ") : (accelerated ? "SEARCH D " : "SEARCH ");
    char suffix[24];
    const int suffixLength = std::snprintf(suffix, sizeof suffix, " CH %d", frame.channel.load() + 1);

    TextLine line(row.text, kOverlayLineChars);
    line.appendAscii(prefix);
    // The name gives way so that the channel is always on the row.
    const size_t suffixRoom = suffixLength > 0 ? static_cast<size_t>(suffixLength) : 0;
    const size_t nameRoom = line.room() > suffixRoom ? line.room() - suffixRoom : 0;
    line.append(cutText(frameName(frame), nameRoom));
    line.appendAscii(suffix);
    row.length = static_cast<int>(line.length());
}

}  // namespace

OverlayLayout chooseOverlayLayout(int width, int height) {
    if (width == 352 || width == 360) return OverlayLayout::Cif;
    if (height <= 300) return OverlayLayout::SmallPicture;
    return OverlayLayout::LargePicture;
}

OverlayFont overlayFont(OverlayLayout layout) {
    switch (layout) {
        case OverlayLayout::Cif: return kSmallFont;
        case OverlayLayout::SmallPicture: return kMediumFont;
        case OverlayLayout::LargePicture: break;
    }
    return kLargeFont;
}

OverlayRows buildOverlay(const DisplayFrame& frame, RendererKind renderer, const OverlayStats& stats) {
    OverlayRows out;
    const bool accelerated = renderer == RendererKind::Accelerated;
    out.layout = chooseOverlayLayout(frame.width, frame.height);
    out.font = overlayFont(out.layout);

    OverlayRow& one = out.rows[0];
    OverlayRow& two = out.rows[1];
    OverlayRow& three = out.rows[2];
    one.y = 3;
    switch (out.layout) {
        case OverlayLayout::Cif:
            two.y = 20;
            three.y = 37;
            break;
        case OverlayLayout::SmallPicture:
            two.y = 20;
            three.y = accelerated ? 37 : 38;
            break;
        case OverlayLayout::LargePicture:
            two.y = 38;
            three.y = 73;
            break;
    }

    const int mode = frame.mode.load();
    if (mode == 0 || mode == 1) {
        one.shown = true;
        one.colour = mode == 0 ? kLiveColour : kSearchColour;
        // The accelerated texts carry a "D" except in the CIF layout.
        formatRowOne(one, frame, mode, accelerated && out.layout != OverlayLayout::Cif);
    }

    two.shown = true;
    two.colour = kOverlayYellow;
    TextLine dateLine(two.text, kOverlayLineChars);
    dateLine.append(frameDate(frame));
    two.length = static_cast<int>(dateLine.length());

    three.shown = true;
    three.colour = kOverlayYellow;
    TextLine rates(three.text, kOverlayLineChars);
    if (stats.statistics == 0) {
        rates.appendFormat("%u FPS", stats.framesPerSecond);
    } else {
        rates.appendFormat("%u F %u KB %s", stats.framesPerSecond, stats.kilobytesPerSecond,
                           accelerated ? "DDRAW" : "GDI");
    }
    three.length = static_cast<int>(rates.length());
    return out;
}

bool sameOverlay(const OverlayRows& a, const OverlayRows& b) {
    if (a.layout != b.layout) return false;
    for (int i = 0; i < 3; ++i) {
        const OverlayRow& x = a.rows[i];
        const OverlayRow& y = b.rows[i];
        if (x.shown != y.shown) return false;
        if (x.shown && (x.x != y.x || x.y != y.y || x.colour != y.colour || x.view() != y.view())) return false;
    }
    return true;
}

}  // namespace orvix
