// The renderers of one video window, ready for the window to own: the
// renderer flag (inside the switch the display thread presents through),
// the hand-over to the GUI thread, and a view widget per renderer laid over
// the window. The accelerated renderer is used when OpenGL works; when it
// cannot be used, the software renderer takes over for the rest of the
// connection. On an X server that shares memory with the program, the
// software renderer puts pictures straight into its view's window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "gui/accelerated_renderer.h"
#include "gui/direct_output.h"
#include "gui/direct_view.h"
#include "gui/frame_hand_over.h"
#include "gui/gl_video_view.h"
#include "gui/software_renderer.h"
#include "gui/software_view.h"
#include "session/renderer_switch.h"

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
    // GUI thread: whether the status lines are drawn with the pictures (by
    // the display thread, straight into the window) rather than over them.
    bool drawsStatusLines() const;
    // GUI thread: the status lines drawn with the pictures from now on.
    void setStatusLines(const StatusLines& lines);
    // The direct way's output; null when pictures do not go that way.
    const DirectOutput* directOutput() const { return direct_.get(); }

signals:
    // The accelerated renderer failed and software drawing took over.
    void switchedToSoftware();

private:
    void onFrameReady();
    void onAcceleratedUnusable();
    // The software view, drawn into straight from the display thread when
    // this platform and server allow it; false when they do not.
    bool setUpDirect(const QRect& area);
    bool directActive() const;
    void tellViewSize(const QRect& area);

    QWidget* window_;
    FrameHandOver handOver_;
    SoftwareRenderer software_{handOver_};
    AcceleratedRenderer accelerated_{handOver_};
    RendererSwitch switch_;
    QPointer<SoftwareView> softwareView_;
    QPointer<GlVideoView> glView_;
    std::unique_ptr<DirectOutput> direct_;
    QPointer<DirectView> directView_;
    bool recordingMark_ = false;
};

}  // namespace orvix
