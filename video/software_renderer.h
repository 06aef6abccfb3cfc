// The software renderer: the picture and its overlay composed in a back
// buffer on the display thread, then handed to the GUI thread, where the
// software view stretches it into the video window.
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
