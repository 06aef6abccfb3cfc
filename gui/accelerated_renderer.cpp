#include "gui/accelerated_renderer.h"

namespace orvix {

bool AcceleratedRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    if (!usable_.load()) return false;
    const QImage image = composer_.compose(frame);
    if (!image.isNull()) handOver_.post(image, QRect(0, 0, frame.width, frame.height), overlay);
    return true;
}

}  // namespace orvix
