// The accelerated renderer's view: uploads the newest handed-over picture as
// an OpenGL texture and draws it as large as fits its rectangle in the
// picture's shape (black bars around), with the overlay over it. Reports a
// context, upload or draw failure once through unusable().
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLTextureBlitter>
#include <QOpenGLWidget>
#include <QSize>
#include <cstdint>
#include <string>

#include "gui/frame_hand_over.h"
#include "gui/overlay_layer.h"
#include "gui/presented_counter.h"

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
    // The red "REC" mark over the picture.
    void setRecordingMark(bool on);
    // Where the picture is drawn, in this view's coordinates.
    QRect pictureRect() const;
    const OverlayLayer& overlay() const { return overlay_; }

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
    OverlayLayer overlay_;
    bool recording_ = false;
    PresentedCounter presented_;
    QOpenGLTextureBlitter blitter_;
    GLuint texture_ = 0;
    QSize textureSize_;
    uint64_t uploadedSerial_ = 0;
    uint64_t uploads_ = 0;
    bool initialized_ = false;
    bool failed_ = false;
};

}  // namespace orvix
