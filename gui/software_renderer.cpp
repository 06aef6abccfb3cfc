#include "gui/software_renderer.h"

#include "gui/aspect_fit.h"

namespace orvix {

bool SoftwareRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    // Scaled here, on the display thread, to the size the view shows it
    // at: the view then only copies it, and the buffers are no larger than
    // the view.
    const QSize picture(frame.width, frame.height);
    QSize shown = fitPicture(QRect(QPoint(0, 0), handOver_.viewSize()), picture).size();
    if (shown.isEmpty()) shown = picture;
    DirectOutput* direct = direct_.load();
    if (direct != nullptr && direct->usable() && frame.picture != nullptr) {
        // In the window already: the GUI learns only that a picture of this
        // size is shown, and how large. When the direct way fails, the
        // picture takes the GUI's way below, as every later one does.
        if (direct->present(frame, overlay, handOver_.viewSize())) {
            handOver_.post(QImage(), QRect(QPoint(0, 0), shown), overlay, picture, FrameHandOver::Notify::Sparingly);
            return true;
        }
    }
    const QImage image = composer_.compose(frame, shown);
    if (!image.isNull()) handOver_.post(image, QRect(QPoint(0, 0), shown), overlay, picture);
    return true;
}

}  // namespace orvix
