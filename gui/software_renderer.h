// The software renderer: the picture scaled into a back buffer on the
// display thread at the size the software view shows it (the view says its
// size through the hand-over), then handed with its overlay rows to the GUI
// thread, where the view copies it into the video window and draws the
// overlay. Where the view's window can be drawn into from here (a
// DirectOutput), the picture goes straight to it instead, and the GUI
// thread is only told of it.
#pragma once

#include <atomic>

#include "gui/direct_output.h"
#include "gui/frame_hand_over.h"
#include "gui/picture_composer.h"
#include "session/renderer.h"

namespace orvix {

class SoftwareRenderer : public Renderer {
public:
    explicit SoftwareRenderer(FrameHandOver& handOver) : handOver_(handOver) {}
    bool present(const DisplayFrame& frame, const OverlayRows& overlay) override;
    // Window thread, while the display thread does not run: pictures go
    // through `direct` while it is usable (null: never).
    void setDirect(DirectOutput* direct) { direct_.store(direct); }

private:
    FrameHandOver& handOver_;
    std::atomic<DirectOutput*> direct_{nullptr};
    PictureComposer composer_;
};

}  // namespace orvix
