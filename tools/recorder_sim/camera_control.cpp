#include "tools/recorder_sim/camera_control.h"

#include <algorithm>
#include <cmath>

namespace orvix::sim {

bool CameraControl::apply(uint32_t subcode, uint32_t preset) {
    switch (subcode) {
        case kPtzLeft:
            motion_ = Motion::Left;
            return true;
        case kPtzRight:
            motion_ = Motion::Right;
            return true;
        case kPtzUp:
            motion_ = Motion::Up;
            return true;
        case kPtzDown:
            motion_ = Motion::Down;
            return true;
        case kPtzStop:
            motion_ = Motion::None;
            return true;
        case kPtzZoomOut:
            motion_ = Motion::ZoomOut;
            return true;
        case kPtzZoomIn:
            motion_ = Motion::ZoomIn;
            return true;
        case kPtzFocusIn:
            ++focus_;
            return true;
        case kPtzFocusOut:
            --focus_;
            return true;
        case kPtzSetPreset:
            presets_[preset] = view_;
            return true;
        case kPtzMoveToPreset:
            if (auto found = presets_.find(preset); found != presets_.end()) {
                view_ = found->second;
                motion_ = Motion::None;
            }
            return true;
        default:
            return false;
    }
}

void CameraControl::advance(double seconds) {
    if (seconds <= 0) return;
    const double step = kPanPerSecond * seconds;
    switch (motion_) {
        case Motion::None:
            return;
        case Motion::Left:
            view_.pan -= step;
            break;
        case Motion::Right:
            view_.pan += step;
            break;
        case Motion::Up:
            view_.tilt += step;
            break;
        case Motion::Down:
            view_.tilt -= step;
            break;
        case Motion::ZoomIn:
            view_.zoom *= std::pow(kZoomPerSecond, seconds);
            break;
        case Motion::ZoomOut:
            view_.zoom /= std::pow(kZoomPerSecond, seconds);
            break;
    }
    view_.pan = std::clamp(view_.pan, -1.0, 1.0);
    view_.tilt = std::clamp(view_.tilt, -1.0, 1.0);
    view_.zoom = std::clamp(view_.zoom, kMinZoom, kMaxZoom);
}

}  // namespace orvix::sim
