// The view whose X window the display thread puts pictures into directly
// (see DirectOutput). Qt paints it only when the window needs it: then it
// paints the last picture put, so an expose, a new size or a grab shows
// what the window showed.
#pragma once

#include <QWidget>

#include "gui/direct_output.h"
#include "gui/frame_hand_over.h"

namespace orvix {

class DirectView : public QWidget {
    Q_OBJECT

public:
    // Makes the view's own X window at once: windowId() is valid after.
    DirectView(FrameHandOver& handOver, DirectOutput& output, QWidget* parent = nullptr);

    uint32_t windowId() const { return static_cast<uint32_t>(winId()); }
    // Where the picture is drawn, in this view's coordinates (empty without
    // a picture).
    QRect pictureRect() const;
    // Paints made by Qt (not pictures): an expose, a resize, a grab.
    int paints() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Tells the display thread the size to compose pictures at.
    void resizeEvent(QResizeEvent* event) override;

private:
    FrameHandOver& handOver_;
    DirectOutput& output_;
    int paints_ = 0;
};

}  // namespace orvix
