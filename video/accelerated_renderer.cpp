#include "video/accelerated_renderer.h"

namespace orvix {

bool AcceleratedRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    if (!usable_.load()) return false;
    const QImage image = composer_.compose(frame, overlay);
    if (!image.isNull()) handOver_.post(image, QRect(0, 0, frame.width, frame.height));
    return true;
}

}  // namespace orvix
