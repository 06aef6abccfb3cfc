// The accelerated renderer: composes like the software renderer and hands
// the picture to the OpenGL view, which uploads it as a texture and draws it
// scaled. Once the view reports that OpenGL cannot be used, present() fails
// and the renderer switch goes over to software for the rest of the
// connection.
#pragma once

#include <atomic>

#include "gui/frame_hand_over.h"
#include "gui/picture_composer.h"
#include "session/renderer.h"

namespace orvix {

class AcceleratedRenderer : public Renderer {
public:
    explicit AcceleratedRenderer(FrameHandOver& handOver) : handOver_(handOver) {}
    bool present(const DisplayFrame& frame, const OverlayRows& overlay) override;

    // Any thread: the view could not create, upload or draw. Holds for the
    // rest of the connection.
    void markUnusable() { usable_.store(false); }
    // GUI thread, at the set-up of a connection: each connection tries the
    // accelerated path again.
    void markUsable() { usable_.store(true); }
    bool usable() const { return usable_.load(); }

private:
    FrameHandOver& handOver_;
    PictureComposer composer_;
    std::atomic<bool> usable_{true};
};

}  // namespace orvix
