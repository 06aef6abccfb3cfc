// The accelerated renderer's view: uploads the newest handed-over picture as
// an OpenGL texture and draws it scaled over its whole rectangle. Reports a
// context, upload or draw failure once through unusable().
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLTextureBlitter>
#include <QOpenGLWidget>
#include <QSize>
#include <cstdint>
#include <string>

#include "video/frame_hand_over.h"

namespace orvix {

class GlVideoView : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT

public:
    GlVideoView(FrameHandOver& handOver, QWidget* parent = nullptr);
    ~GlVideoView() override;

    // GUI thread: whether an OpenGL context can be made at all here, and
    // the renderer it reports (GL_RENDERER). Probed once per process.
    struct Probe {
        bool available = false;
        std::string renderer;
    };
    static const Probe& probe();
    static bool openGlAvailable() { return probe().available; }
    // GUI thread: whether a connection should draw through this view, by
    // the renderer preference and the probe.
    static bool chosen();
    bool hasFailed() const { return failed_; }
    // Pictures uploaded so far.
    uint64_t uploads() const { return uploads_; }

signals:
    void unusable();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void fail();
    bool upload(const HandedFrame& frame);
    void releaseGl();

    FrameHandOver& handOver_;
    QOpenGLTextureBlitter blitter_;
    GLuint texture_ = 0;
    QSize textureSize_;
    uint64_t uploadedSerial_ = 0;
    uint64_t uploads_ = 0;
    bool initialized_ = false;
    bool failed_ = false;
};

}  // namespace orvix
