// The status and info lines kept readable while pictures cover the video
// window: a transparent strip along the window's bottom edge, above the
// picture view, away from the overlay rows at the top. Without a picture the
// window paints the same lines over its logo instead. A translucent dark
// band behind the texts keeps them readable on any picture.
#pragma once

#include <QWidget>
#include <functional>

#include "gui/status_band.h"

namespace orvix {

class StatusStrip : public QWidget {
    Q_OBJECT

public:
    using Lines = StatusLines;

    // `lines` gives the current texts whenever the strip paints.
    StatusStrip(QWidget* window, std::function<Lines()> lines);

    // Over the picture view, along the bottom of the window.
    void showOverPicture();
    // How many times the lines were laid out.
    int layouts() const { return band_.layouts(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<Lines()> lines_;
    // The strip is painted again over every picture; its lines are laid
    // out only when they or the strip's size change.
    StatusBand band_;
};

}  // namespace orvix
