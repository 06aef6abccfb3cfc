// One simulated camera's pan, tilt and zoom: a direction command keeps the
// camera moving until stop (or another direction), presets store and
// recall a position. Sub-codes as the client sends them.
#pragma once

#include <cstdint>
#include <map>

#include "tools/recorder_sim/picture_painter.h"

namespace orvix::sim {

enum PtzSubcode : uint32_t {
    kPtzLeft = 0,
    kPtzRight = 1,
    kPtzUp = 2,
    kPtzDown = 3,
    kPtzStop = 5,
    kPtzZoomOut = 7,
    kPtzZoomIn = 8,
    kPtzFocusIn = 9,
    kPtzFocusOut = 10,
    kPtzSetPreset = 17,
    kPtzMoveToPreset = 18,
};

class CameraControl {
public:
    static constexpr double kPanPerSecond = 0.5;   // of the -1..1 range
    static constexpr double kZoomPerSecond = 1.6;  // factor
    static constexpr double kMinZoom = 0.5, kMaxZoom = 2.5;

    // False for a sub-code the camera does not know (nothing changes).
    bool apply(uint32_t subcode, uint32_t preset);
    // Moves the camera by what its current motion does in `seconds`.
    void advance(double seconds);

    const CameraView& view() const { return view_; }
    bool moving() const { return motion_ != Motion::None; }
    int focus() const { return focus_; }

private:
    enum class Motion { None, Left, Right, Up, Down, ZoomIn, ZoomOut };
    CameraView view_;
    Motion motion_ = Motion::None;
    int focus_ = 0;
    std::map<uint32_t, CameraView> presets_;
};

}  // namespace orvix::sim
