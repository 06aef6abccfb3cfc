// The software renderer's view: paints the newest handed-over picture as
// large as fits its rectangle in the picture's shape (scaled by swscale),
// black bars around,
// with the overlay over the picture. Without a picture it paints nothing,
// so whatever lies beneath (the logo and status) stays visible.
#pragma once

#include <QWidget>

#include "video/frame_hand_over.h"
#include "video/overlay_layer.h"
#include "video/picture_scaler.h"

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
    // Pictures scaled to the shown size by swscale (each once).
    uint64_t picturesScaled() const { return scaler_.scaled(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture at the size it is shown: scaled once per picture and
    // size, so a repaint without a new picture only copies.
    const QImage& shownPicture(const HandedFrame& frame, const QSize& size);

    FrameHandOver& handOver_;
    OverlayLayer overlay_;
    PictureScaler scaler_;
    QImage scaled_;
    uint64_t scaledSerial_ = 0;
    bool recording_ = false;
};

}  // namespace orvix
