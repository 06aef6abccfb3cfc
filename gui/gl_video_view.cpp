#include "gui/gl_video_view.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>

#include "core/debug_log.h"
#include "gui/aspect_fit.h"
#include "gui/renderer_preference.h"

namespace orvix {

GlVideoView::GlVideoView(FrameHandOver& handOver, QWidget* parent) : QOpenGLWidget(parent), handOver_(handOver) {
    connect(&handOver_, &FrameHandOver::frameReady, this, qOverload<>(&QWidget::update));
}

GlVideoView::~GlVideoView() { releaseGl(); }

void GlVideoView::setRecordingMark(bool on) {
    if (on == recording_) return;
    recording_ = on;
    update();
}

QRect GlVideoView::pictureRect() const { return fitPicture(rect(), handOver_.latest().picture); }

const GlVideoView::Probe& GlVideoView::probe() {
    static const Probe answer = [] {
        Probe found;
        QOpenGLContext context;
        if (!context.create()) return found;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        if (!surface.isValid() || !context.makeCurrent(&surface)) return found;
        found.available = true;
        const GLubyte* name = context.functions()->glGetString(GL_RENDERER);
        if (name != nullptr) found.renderer = reinterpret_cast<const char*>(name);
        context.doneCurrent();
        return found;
    }();
    return answer;
}

bool GlVideoView::chosen() {
    const RendererPreference preference = rendererPreference();
    if (preference == RendererPreference::Software) return false;
    const Probe& found = probe();
    const bool use = useOpenGl(preference, found.available, found.renderer);
    if (found.available && !use) {
        static bool told = false;
        if (!told) debugLogf("OpenGL is done in software here (%s), drawing in software \r\n", found.renderer.c_str());
        told = true;
    }
    return use;
}

void GlVideoView::releaseGl() {
    if (!initialized_ || context() == nullptr) return;
    makeCurrent();
    if (blitter_.isCreated()) blitter_.destroy();
    if (texture_ != 0) glDeleteTextures(1, &texture_);
    texture_ = 0;
    doneCurrent();
    initialized_ = false;
}

void GlVideoView::fail() {
    if (failed_) return;
    failed_ = true;
    debugLog("OpenGL video output failed, drawing in software \r\n");
    emit unusable();
}

void GlVideoView::initializeGL() {
    if (context() == nullptr || !context()->isValid()) {
        fail();
        return;
    }
    initializeOpenGLFunctions();
    if (!blitter_.create()) {
        fail();
        return;
    }
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    initialized_ = true;
    if (glGetError() != GL_NO_ERROR) fail();
}

bool GlVideoView::upload(const HandedFrame& frame) {
    // Texture bytes are red, green, blue, alpha.
    const QImage pixels = frame.image.copy(frame.source).convertToFormat(QImage::Format_RGBA8888);
    if (pixels.isNull()) return false;
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (pixels.size() != textureSize_) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pixels.width(), pixels.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels.constBits());
        textureSize_ = pixels.size();
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, pixels.width(), pixels.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                        pixels.constBits());
    }
    if (glGetError() != GL_NO_ERROR) return false;
    uploadedSerial_ = frame.serial;
    ++uploads_;
    return true;
}

void GlVideoView::paintGL() {
    if (failed_ || !initialized_) return;
    const HandedFrame frame = handOver_.latest();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (frame.image.isNull() || frame.source.isEmpty()) return;
    if (frame.serial != uploadedSerial_ && !upload(frame)) {
        fail();
        return;
    }
    if (textureSize_.isEmpty()) return;
    // The picture's place; OpenGL counts rows from the bottom.
    const QRect target = fitPicture(rect(), frame.picture);
    const qreal ratio = devicePixelRatio();
    const QRect viewport(qRound(target.x() * ratio), qRound((height() - target.y() - target.height()) * ratio),
                         qRound(target.width() * ratio), qRound(target.height() * ratio));
    glViewport(viewport.x(), viewport.y(), viewport.width(), viewport.height());
    const QRect whole(QPoint(0, 0), viewport.size());
    blitter_.bind();
    blitter_.blit(texture_, QOpenGLTextureBlitter::targetTransform(QRectF(whole), whole),
                  QOpenGLTextureBlitter::OriginTopLeft);
    blitter_.release();
    if (glGetError() != GL_NO_ERROR) {
        fail();
        return;
    }
    QPainter painter(this);
    overlay_.paint(painter, target, frame.picture, frame.overlay, recording_);
    presented_.painted(frame.serial);
}

}  // namespace orvix
