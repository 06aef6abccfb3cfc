// The simulated cameras' pictures: each channel a solid colour of its own
// with its number drawn large (counted from 1, as the client shows it), the
// picture time, a square that moves every picture, a target on a grid that
// follows pan, tilt and zoom, a PLAYBACK marker for recorded video, and a
// row of boxes for alarm outputs 1-16 (lit while on).
#pragma once

#include <bitset>
#include <cstdint>

#include "tools/recorder_sim/picture_canvas.h"

namespace orvix::sim {

constexpr int kColourCount = 16;
Rgb channelColour(int channel);
// The channel whose colour is nearest to `colour` (-1 for none within reach).
int nearestChannelColour(Rgb colour);

// Camera position: pan and tilt in -1..1 (positive: right, up), zoom 0.5-2.5.
struct CameraView {
    double pan = 0;
    double tilt = 0;
    double zoom = 1;
};

constexpr int kShownAlarmOutputs = 16;

struct PictureContent {
    int channel = 0;
    uint32_t time = 0;        // seconds since 1970, drawn as date and time
    bool playback = false;
    uint64_t frameNumber = 0;  // moves the square
    CameraView camera;
    std::bitset<kShownAlarmOutputs> alarms;  // bit n: output n + 1 is on
};

// Where things are drawn, for a picture size.
struct PictureLayout {
    Rect number;         // the two digits of the channel number
    Rect playbackMarker;
    Rect timeText;
    Rect alarmBoxes[kShownAlarmOutputs];
    int squareSize = 0;
    int squareTrackY = 0;
};
PictureLayout pictureLayout(int width, int height);

// The target: a black disc with a white centre.
struct TargetPlacement {
    int x = 0, y = 0, radius = 0;
};
TargetPlacement targetPlacement(const CameraView& camera, int width, int height);

constexpr Rgb kAlarmLit{255, 240, 0};
constexpr Rgb kPlaybackMarker{255, 255, 255};

// Paints one picture; `stride` >= width * 4.
void paintPicture(const PictureContent& content, uint8_t* bgrx, int width, int height, int stride);

}  // namespace orvix::sim
