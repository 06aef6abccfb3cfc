#include "gui/video_output.h"

#include <QGuiApplication>
#include <cstdlib>

#include "core/debug_log.h"

namespace orvix {

VideoOutput::VideoOutput(QWidget* window) : QObject(window), window_(window) {
    switch_.setRenderers(&software_, &accelerated_);
    connect(&handOver_, &FrameHandOver::frameReady, this, &VideoOutput::onFrameReady);
}

VideoOutput::~VideoOutput() { tearDown(); }

int VideoOutput::setUp(bool tryAccelerated) {
    tearDown();
    const QRect area = window_ ? window_->rect() : QRect();
    // Hidden views hear of their size only when shown: the renderer is
    // told now, so that the first pictures are made at the size they show.
    tellViewSize(area);
    softwareView_ = new SoftwareView(handOver_, window_);
    softwareView_->setGeometry(area);
    softwareView_->setRecordingMark(recordingMark_);
    softwareView_->hide();

    // The renderer is chosen for this connection alone: a fall-back during
    // an earlier one does not rule the accelerated renderer out.
    accelerated_.markUsable();
    const bool accelerated = tryAccelerated && GlVideoView::chosen();
    if (accelerated) {
        glView_ = new GlVideoView(handOver_, window_);
        glView_->setGeometry(area);
        glView_->setRecordingMark(recordingMark_);
        glView_->hide();
        connect(glView_, &GlVideoView::unusable, this, &VideoOutput::onAcceleratedUnusable);
    }
    if (!accelerated) setUpDirect(area);
    switch_.setFlag(accelerated ? RendererSwitch::kAcceleratedFlag : RendererSwitch::kSoftwareFlag);
    return switch_.flag();
}

bool VideoOutput::setUpDirect(const QRect& area) {
    // Only X has windows to put pictures into; ORVIX_DIRECT=0 keeps the
    // pictures on the GUI's way (to compare the two).
    const char* wanted = std::getenv("ORVIX_DIRECT");
    if (window_ == nullptr || QGuiApplication::platformName() != QLatin1String("xcb") ||
        (wanted != nullptr && std::string(wanted) == "0")) {
        return false;
    }
    // One native window for the view alone: Qt would otherwise give every
    // widget beside it (and theirs) a window of its own too.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    auto direct = std::make_unique<DirectOutput>();
    auto* view = new DirectView(handOver_, *direct, window_);
    view->setGeometry(area);
    direct->setRecordingMark(recordingMark_);
    view->hide();
    if (!direct->open(view->windowId())) {
        debugLogf("Direct output unusable: %s", direct->error().c_str());
        delete view;
        return false;
    }
    direct_ = std::move(direct);
    directView_ = view;
    software_.setDirect(direct_.get());
    return true;
}

void VideoOutput::tellViewSize(const QRect& area) {
    if (window_ != nullptr) handOver_.setViewSize(area.size() * window_->devicePixelRatio());
}

bool VideoOutput::directActive() const {
    return switch_.flag() == RendererSwitch::kSoftwareFlag && direct_ && directView_ && direct_->usable();
}

void VideoOutput::tearDown() {
    handOver_.clear();
    software_.setDirect(nullptr);
    direct_.reset();
    delete directView_.data();
    delete glView_.data();
    delete softwareView_.data();
}

QWidget* VideoOutput::activeView() const {
    if (switch_.flag() == RendererSwitch::kAcceleratedFlag && glView_) return glView_;
    if (directActive()) return directView_;
    return softwareView_;
}

bool VideoOutput::drawsStatusLines() const { return directActive(); }

void VideoOutput::setStatusLines(const StatusLines& lines) {
    if (direct_ && direct_->setStatusLines(lines) && directView_ && directView_->isVisible()) directView_->update();
}

void VideoOutput::followWindow() {
    const QRect area = window_ ? window_->rect() : QRect();
    tellViewSize(area);
    if (softwareView_) softwareView_->setGeometry(area);
    if (glView_) glView_->setGeometry(area);
    if (directView_) directView_->setGeometry(area);
}

void VideoOutput::setRecordingMark(bool on) {
    recordingMark_ = on;
    if (softwareView_) softwareView_->setRecordingMark(on);
    if (glView_) glView_->setRecordingMark(on);
    if (direct_) direct_->setRecordingMark(on);
}

QRect VideoOutput::pictureRect() const {
    if (switch_.flag() == RendererSwitch::kAcceleratedFlag && glView_) return glView_->pictureRect();
    if (directActive()) return directView_->pictureRect();
    return softwareView_ ? softwareView_->pictureRect() : QRect();
}

void VideoOutput::onFrameReady() {
    // Views stay hidden until there is a picture, so the window's own
    // painting shows until then.
    // The direct way failed: the view the GUI paints takes over.
    if (directView_ && !directActive() && directView_->isVisible()) {
        directView_->hide();
        emit switchedToSoftware();
    }
    QWidget* view = activeView();
    if (view != nullptr && view->isHidden()) {
        view->show();
        view->raise();
    }
}

void VideoOutput::onAcceleratedUnusable() {
    accelerated_.markUnusable();
    switch_.fallBack();
    if (glView_) glView_->hide();
    if (softwareView_ && handOver_.latest().serial != 0) {
        softwareView_->show();
        softwareView_->raise();
        softwareView_->update();
    }
    emit switchedToSoftware();
}

}  // namespace orvix
