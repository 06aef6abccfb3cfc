// The renderers of one video window, ready for the window to own: the
// renderer flag (inside the switch the display thread presents through),
// the hand-over to the GUI thread, and a view widget per renderer laid over
// the window. The accelerated renderer is used when OpenGL works; when it
// cannot be used, the software renderer takes over for the rest of the
// connection.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "video/accelerated_renderer.h"
#include "video/frame_hand_over.h"
#include "video/gl_video_view.h"
#include "video/renderer_switch.h"
#include "video/software_renderer.h"
#include "video/software_view.h"

namespace orvix {

class VideoOutput : public QObject {
    Q_OBJECT

public:
    explicit VideoOutput(QWidget* window);
    ~VideoOutput() override;

    // GUI thread, at set-up, before the display thread starts: renderer flag
    // 1 when the accelerated renderer can be used (and `tryAccelerated`),
    // else 0, chosen anew for each connection. The views cover the window's
    // rectangle as it is now and show nothing until the first picture
    // arrives. Returns the flag.
    int setUp(bool tryAccelerated = true);
    // GUI thread, after the display thread has ended: views gone, picture
    // forgotten.
    void tearDown();

    RendererSwitch& renderers() { return switch_; }
    int rendererFlag() const { return switch_.flag(); }
    FrameHandOver& handOver() { return handOver_; }
    const FrameHandOver& handOver() const { return handOver_; }
    // The view pictures are shown in; null before set-up.
    QWidget* activeView() const;
    // GUI thread: the views take the window's rectangle as it is now.
    void followWindow();
    // GUI thread: the red "REC" mark over the pictures, also in views made
    // later.
    void setRecordingMark(bool on);
    // Where the active view draws the picture, in the window's coordinates
    // (empty without a picture).
    QRect pictureRect() const;

signals:
    // The accelerated renderer failed and software drawing took over.
    void switchedToSoftware();

private:
    void onFrameReady();
    void onAcceleratedUnusable();

    QWidget* window_;
    FrameHandOver handOver_;
    SoftwareRenderer software_{handOver_};
    AcceleratedRenderer accelerated_{handOver_};
    RendererSwitch switch_;
    QPointer<SoftwareView> softwareView_;
    QPointer<GlVideoView> glView_;
    bool recordingMark_ = false;
};

}  // namespace orvix
