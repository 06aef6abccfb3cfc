#include "video/video_output.h"

namespace orvix {

VideoOutput::VideoOutput(QWidget* window) : QObject(window), window_(window) {
    switch_.setRenderers(&software_, &accelerated_);
    connect(&handOver_, &FrameHandOver::frameReady, this, &VideoOutput::onFrameReady);
}

VideoOutput::~VideoOutput() { tearDown(); }

int VideoOutput::setUp(bool tryAccelerated) {
    tearDown();
    const QRect area = window_ ? window_->rect() : QRect();
    softwareView_ = new SoftwareView(handOver_, window_);
    softwareView_->setGeometry(area);
    softwareView_->hide();

    // The renderer is chosen for this connection alone: a fall-back during
    // an earlier one does not rule the accelerated renderer out.
    accelerated_.markUsable();
    const bool accelerated = tryAccelerated && GlVideoView::chosen();
    if (accelerated) {
        glView_ = new GlVideoView(handOver_, window_);
        glView_->setGeometry(area);
        glView_->hide();
        connect(glView_, &GlVideoView::unusable, this, &VideoOutput::onAcceleratedUnusable);
    }
    switch_.setFlag(accelerated ? RendererSwitch::kAcceleratedFlag : RendererSwitch::kSoftwareFlag);
    return switch_.flag();
}

void VideoOutput::tearDown() {
    handOver_.clear();
    delete glView_.data();
    delete softwareView_.data();
}

QWidget* VideoOutput::activeView() const {
    if (switch_.flag() == RendererSwitch::kAcceleratedFlag && glView_) return glView_;
    return softwareView_;
}

void VideoOutput::onFrameReady() {
    // Views stay hidden until there is a picture, so the window's own
    // painting shows until then.
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
