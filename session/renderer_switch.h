// The renderer flag and the two renderers it chooses between. The video
// window sets the flag once per connection; the accelerated renderer falling
// over switches it to software for the rest of the connection.
#pragma once

#include <atomic>

#include "media/overlay_text.h"
#include "media/renderer_kind.h"
#include "session/renderer.h"

namespace orvix {

class RendererSwitch {
public:
    static constexpr int kSoftwareFlag = static_cast<int>(RendererKind::Software);
    static constexpr int kAcceleratedFlag = static_cast<int>(RendererKind::Accelerated);

    // Window thread, before the display thread starts.
    void setRenderers(Renderer* software, Renderer* accelerated);
    void setFlag(int flag) { flag_.store(flag); }
    int flag() const { return flag_.load(); }
    // Accelerated to software until the next set-up; any thread.
    void fallBack();

    // Display thread: builds the overlay for the renderer the flag names and
    // presents through it. Other flag values, or a missing renderer, draw
    // nothing. A failing accelerated renderer triggers the fall-back.
    void present(const DisplayFrame& frame, const OverlayStats& stats);

private:
    std::atomic<int> flag_{kSoftwareFlag};
    Renderer* software_ = nullptr;
    Renderer* accelerated_ = nullptr;
};

}  // namespace orvix
