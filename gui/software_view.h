// The software renderer's view: paints the newest handed-over picture as
// large as fits its rectangle in the picture's shape, black bars around,
// with the overlay over the picture. The renderer scales pictures to that
// size before handing them over, so painting one is a copy. Without a picture it paints nothing,
// so whatever lies beneath (the logo and status) stays visible.
#pragma once

#include <QWidget>

#include "gui/frame_hand_over.h"
#include "gui/overlay_layer.h"
#include "gui/presented_counter.h"

namespace orvix {

class SoftwareView : public QWidget {
    Q_OBJECT

public:
    SoftwareView(FrameHandOver& handOver, QWidget* parent = nullptr);

    // The red "REC" mark over the picture.
    void setRecordingMark(bool on);
    // Where the picture is drawn, in this view's coordinates (empty without
    // a picture).
    QRect pictureRect() const;
    const OverlayLayer& overlay() const { return overlay_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Tells the renderer the size to scale pictures to.
    void resizeEvent(QResizeEvent* event) override;

private:
    FrameHandOver& handOver_;
    OverlayLayer overlay_;
    bool recording_ = false;
    PresentedCounter presented_;
};

}  // namespace orvix
