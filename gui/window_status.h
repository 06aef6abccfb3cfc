// The status and info lines of the video window: painted with the logo
// while no picture covers the window; while one does, on a strip along the
// window's bottom edge above the view, or drawn with the pictures where the
// output puts them straight into the view's window.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWidget>
#include <functional>

#include "gui/overlay_painter.h"
#include "gui/status_band.h"
#include "gui/status_strip.h"
#include "gui/video_output.h"

namespace orvix {

class WindowStatus {
public:
    // GUI thread, all of it. `lines` gives the current texts whenever they
    // are drawn.
    WindowStatus(QWidget* window, std::function<StatusLines()> lines);

    // The logo over `area` (its shape kept, black bars around) with the
    // lines over it, and the recording mark shown paused when
    // `recordingPaused`.
    void paintLogo(QPainter& painter, const QRect& area, bool recordingPaused);
    // The lines over `view` (null or hidden: no picture shown), or with the
    // pictures when `output` draws them and the single view shows.
    void follow(VideoOutput& output, const QWidget* view, bool gridShown);
    // Drawn again with the texts as they are now.
    void update();
    void hide() { strip_->hide(); }

private:
    QWidget* window_;
    std::function<StatusLines()> lines_;
    QImage logo_;
    QFont font_;
    OverlayPainter mark_;
    StatusStrip* strip_;
};

}  // namespace orvix
