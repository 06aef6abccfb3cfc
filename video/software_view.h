// The software renderer's view: paints the newest handed-over picture
// stretched over its whole rectangle. Without a picture it paints nothing,
// so whatever lies beneath (the logo and status) stays visible.
#pragma once

#include <QWidget>

#include "video/frame_hand_over.h"

namespace orvix {

class SoftwareView : public QWidget {
    Q_OBJECT

public:
    SoftwareView(FrameHandOver& handOver, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FrameHandOver& handOver_;
};

}  // namespace orvix
