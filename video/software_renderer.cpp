#include "video/software_renderer.h"

#include "video/aspect_fit.h"

namespace orvix {

bool SoftwareRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    // Scaled here, on the display thread, to the size the view shows it
    // at: the view then only copies it, and the buffers are no larger than
    // the view.
    const QSize picture(frame.width, frame.height);
    QSize shown = fitPicture(QRect(QPoint(0, 0), handOver_.viewSize()), picture).size();
    if (shown.isEmpty()) shown = picture;
    const QImage image = composer_.compose(frame, shown);
    if (!image.isNull()) handOver_.post(image, QRect(QPoint(0, 0), shown), overlay, picture);
    return true;
}

}  // namespace orvix
