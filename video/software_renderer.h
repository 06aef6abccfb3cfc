// The software renderer: the picture scaled into a back buffer on the
// display thread at the size the software view shows it (the view says its
// size through the hand-over), then handed with its overlay rows to the GUI
// thread, where the view copies it into the video window and draws the
// overlay.
#pragma once

#include "video/frame_hand_over.h"
#include "video/picture_composer.h"
#include "video/renderer.h"

namespace orvix {

class SoftwareRenderer : public Renderer {
public:
    explicit SoftwareRenderer(FrameHandOver& handOver) : handOver_(handOver) {}
    bool present(const DisplayFrame& frame, const OverlayRows& overlay) override;

private:
    FrameHandOver& handOver_;
    PictureComposer composer_;
};

}  // namespace orvix
