#include "session/renderer_switch.h"

namespace orvix {

void RendererSwitch::setRenderers(Renderer* software, Renderer* accelerated) {
    software_ = software;
    accelerated_ = accelerated;
}

void RendererSwitch::fallBack() {
    int expected = kAcceleratedFlag;
    flag_.compare_exchange_strong(expected, kSoftwareFlag);
}

void RendererSwitch::present(const DisplayFrame& frame, const OverlayStats& stats) {
    const int flag = flag_.load();
    if (flag == kSoftwareFlag) {
        if (software_ != nullptr) software_->present(frame, buildOverlay(frame, RendererKind::Software, stats));
    } else if (flag == kAcceleratedFlag) {
        if (accelerated_ == nullptr) return;
        if (!accelerated_->present(frame, buildOverlay(frame, RendererKind::Accelerated, stats))) fallBack();
    }
}

}  // namespace orvix
