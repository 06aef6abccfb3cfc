#include "gui/window_status.h"

#include <QRegion>

#include "gui/aspect_fit.h"
#include "gui/status_line_painter.h"

// The logo lives in a resource object that nothing else references; naming
// its registration here keeps the linker from dropping it.
static void registerWindowResources() { Q_INIT_RESOURCE(orvix); }

namespace orvix {

WindowStatus::WindowStatus(QWidget* window, std::function<StatusLines()> lines)
    : window_(window), lines_(std::move(lines)), font_(statusLineFont()), strip_(new StatusStrip(window, lines_)) {
    registerWindowResources();
    logo_ = QImage(QStringLiteral(":/orvix/logo.png"));
}

void WindowStatus::paintLogo(QPainter& painter, const QRect& area, bool recordingPaused) {
    if (logo_.isNull()) {
        painter.fillRect(area, Qt::black);
    } else {
        // The logo keeps its shape, black bars around.
        const QRect target = fitPicture(area, logo_.size());
        for (const QRect& bar : QRegion(area).subtracted(target)) painter.fillRect(bar, Qt::black);
        painter.drawImage(target, logo_);
    }
    const StatusLines lines = lines_();
    paintStatusLines(painter, font_, lines.status, lines.statusText, lines.infoText);
    // Sized as over a picture of the window's height.
    if (recordingPaused) mark_.drawRecordingMark(painter, area, 1.0, true);
}

void WindowStatus::follow(VideoOutput& output, const QWidget* view, bool gridShown) {
    // Where the pictures go straight into the view's window, the lines are
    // drawn with them: a strip above that window would hide the pictures.
    output.setStatusLines(lines_());
    if (!gridShown && output.drawsStatusLines()) {
        strip_->hide();
        return;
    }
    if (view != nullptr && view->isVisible()) {
        strip_->showOverPicture();
    } else {
        strip_->hide();
    }
}

void WindowStatus::update() {
    window_->update();
    strip_->update();
}

}  // namespace orvix
