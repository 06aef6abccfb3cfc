#include "tools/recorder_sim/picture_painter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace orvix::sim {
namespace {

// Well apart from each other and from black and white; every colour has one
// component of 130 or more, so its darkened shadow never reads as black.
constexpr Rgb kChannelColours[kColourCount] = {
    {220, 40, 40},   {40, 170, 60},  {50, 80, 220},   {230, 200, 40}, {200, 60, 200},  {40, 200, 210},
    {240, 130, 30},  {130, 70, 210}, {160, 230, 70},  {250, 150, 180}, {20, 140, 130}, {150, 90, 40},
    {60, 70, 160},   {140, 140, 30}, {160, 160, 160}, {150, 30, 70},
};

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kAlarmNumber{128, 0, 0};
constexpr Rgb kPlaybackText{200, 0, 0};

int textScale(int height) { return std::max(1, height / 144); }
int margin(int width) { return std::max(2, width / 64); }

void shadowedText(Canvas& canvas, int x, int y, int scale, const char* text, Rgb shadow) {
    canvas.text(x + scale, y + scale, scale, text, shadow);
    canvas.text(x, y, scale, text, kWhite);
}

}  // namespace

Rgb channelColour(int channel) { return kChannelColours[static_cast<unsigned>(channel) % kColourCount]; }

int nearestChannelColour(Rgb colour) {
    int best = -1;
    int bestDistance = 60 * 60 * 3;  // farther than this is no channel's colour
    for (int i = 0; i < kColourCount; ++i) {
        const Rgb& c = kChannelColours[i];
        const int dr = c.r - colour.r, dg = c.g - colour.g, db = c.b - colour.b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

PictureLayout pictureLayout(int width, int height) {
    PictureLayout layout;
    const int m = margin(width);
    const int scale = textScale(height);

    const int digitHeight = height / 4;
    const int digitWidth = digitHeight * 5 / 9;
    const int gap = std::max(2, digitWidth / 4);
    layout.number = {width - m - 2 * digitWidth - gap, m, 2 * digitWidth + gap, digitHeight};

    const int pad = 2 * scale;
    const int markerWidth = textWidth(8, scale) + 2 * pad;
    layout.playbackMarker = {width - m - markerWidth, layout.number.y + digitHeight + m, markerWidth,
                             kFontHeight * scale + 2 * pad};

    const int alarmHeight = std::max(8, height / 12);
    for (int i = 0; i < kShownAlarmOutputs; ++i) {
        const int x0 = i * width / kShownAlarmOutputs;
        const int x1 = (i + 1) * width / kShownAlarmOutputs;
        layout.alarmBoxes[i] = {x0 + 1, height - alarmHeight + 1, x1 - x0 - 2, alarmHeight - 2};
    }

    const int timeScale = textWidth(19, scale) <= width - 2 * m ? scale : 1;
    layout.timeText = {m, height - alarmHeight - m - kFontHeight * timeScale, textWidth(19, timeScale),
                       kFontHeight * timeScale};
    layout.squareSize = std::max(4, height / 36);
    layout.squareTrackY = layout.timeText.y - m - layout.squareSize;
    return layout;
}

TargetPlacement targetPlacement(const CameraView& camera, int width, int height) {
    // Turning the camera right or up moves the scene left or down.
    TargetPlacement target;
    target.x = width / 2 - static_cast<int>(std::lround(camera.pan * width / 3.0));
    target.y = height / 2 + static_cast<int>(std::lround(camera.tilt * height / 4.0));
    target.radius = std::max(4, static_cast<int>(std::lround(height / 12.0 * camera.zoom)));
    return target;
}

void paintPicture(const PictureContent& content, uint8_t* bgrx, int width, int height, int stride) {
    Canvas canvas(bgrx, width, height, stride);
    const Rgb background = channelColour(content.channel);
    const Rgb shadow = darker(background, 0.5);
    const PictureLayout layout = pictureLayout(width, height);
    const int m = margin(width);
    const int scale = textScale(height);

    canvas.fill(background);

    // The scene: a grid and a target that move with the camera.
    const TargetPlacement target = targetPlacement(content.camera, width, height);
    const int spacing = std::max(8, static_cast<int>(std::lround(height / 6.0 * content.camera.zoom)));
    const Rgb gridColour = darker(background, 0.75);
    for (int x = ((target.x % spacing) + spacing) % spacing; x < width; x += spacing) canvas.verticalLine(x, gridColour);
    for (int y = ((target.y % spacing) + spacing) % spacing; y < height; y += spacing)
        canvas.horizontalLine(y, gridColour);
    canvas.fillDisc(target.x, target.y, target.radius, kBlack);
    canvas.fillDisc(target.x, target.y, target.radius / 3, kWhite);

    // A square sweeping to and fro, so that every picture differs.
    const int travel = std::max(1, width - 2 * m - layout.squareSize);
    const uint64_t step = static_cast<uint64_t>(std::max(1, width / 100));
    const int phase = static_cast<int>((content.frameNumber * step) % (2 * static_cast<uint64_t>(travel)));
    const int squareX = m + (phase < travel ? phase : 2 * travel - phase);
    canvas.fillRect({squareX, layout.squareTrackY, layout.squareSize, layout.squareSize}, kWhite);

    // The channel number, counted from 1.
    const int number = content.channel + 1;
    const int digitWidth = layout.number.height * 5 / 9;
    const int offset = std::max(1, digitWidth / 10);
    for (int pass = 0; pass < 2; ++pass) {
        const Rgb colour = pass == 0 ? shadow : kWhite;
        const int shift = pass == 0 ? offset : 0;
        canvas.sevenSegmentDigit({layout.number.x + shift, layout.number.y + shift, digitWidth, layout.number.height},
                                 number / 10 % 10, colour);
        canvas.sevenSegmentDigit({layout.number.x + layout.number.width - digitWidth + shift, layout.number.y + shift,
                                  digitWidth, layout.number.height},
                                 number % 10, colour);
    }

    if (content.playback) {
        canvas.fillRect(layout.playbackMarker, kPlaybackMarker);
        canvas.text(layout.playbackMarker.x + 2 * scale, layout.playbackMarker.y + 2 * scale, scale, "PLAYBACK",
                    kPlaybackText);
    }

    // Date and time of the picture.
    std::tm calendar{};
    const std::time_t seconds = static_cast<std::time_t>(content.time);
    gmtime_r(&seconds, &calendar);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", calendar.tm_year + 1900, calendar.tm_mon + 1,
                  calendar.tm_mday, calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
    shadowedText(canvas, layout.timeText.x, layout.timeText.y, layout.timeText.height / kFontHeight, text, shadow);

    // Alarm outputs 1-16.
    for (int i = 0; i < kShownAlarmOutputs; ++i) {
        const Rect& box = layout.alarmBoxes[i];
        const bool lit = content.alarms.test(static_cast<size_t>(i));
        canvas.fillRect(box, lit ? kAlarmLit : shadow);
        char label[4];
        std::snprintf(label, sizeof label, "%d", i + 1);
        const int labelScale = std::max(1, std::min(scale, (box.width - 2) / 11));
        const int labelWidth = textWidth(static_cast<int>(std::char_traits<char>::length(label)), labelScale);
        canvas.text(box.x + (box.width - labelWidth) / 2, box.y + (box.height - kFontHeight * labelScale) / 2,
                    labelScale, label, lit ? kAlarmNumber : darker(background, 0.8));
    }
}

}  // namespace orvix::sim
