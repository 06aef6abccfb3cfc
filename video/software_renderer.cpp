#include "video/software_renderer.h"

namespace orvix {

bool SoftwareRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    const QImage image = composer_.compose(frame);
    if (!image.isNull()) handOver_.post(image, QRect(0, 0, frame.width, frame.height), overlay);
    return true;
}

}  // namespace orvix
