// The accelerated renderer: composes like the software renderer and hands
// the picture to the OpenGL view, which uploads it as a texture and draws it
// scaled. Once the view reports that OpenGL cannot be used, present() fails
// and the renderer switch goes over to software for good.
#pragma once

#include <atomic>

#include "video/frame_hand_over.h"
#include "video/picture_composer.h"
#include "video/renderer.h"

namespace orvix {

class AcceleratedRenderer : public Renderer {
public:
    explicit AcceleratedRenderer(FrameHandOver& handOver) : handOver_(handOver) {}
    bool present(const DisplayFrame& frame, const OverlayRows& overlay) override;

    // Any thread: the view could not create, upload or draw.
    void markUnusable() { usable_.store(false); }
    bool usable() const { return usable_.load(); }

private:
    FrameHandOver& handOver_;
    PictureComposer composer_;
    std::atomic<bool> usable_{true};
};

}  // namespace orvix
