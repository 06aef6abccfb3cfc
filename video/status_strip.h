// The status and info lines kept readable while pictures cover the video
// window: a transparent strip along the window's bottom edge, above the
// picture view, away from the overlay rows at the top. Without a picture the
// window paints the same lines over its logo instead. A translucent dark
// band behind the texts keeps them readable on any picture.
#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QWidget>
#include <functional>

namespace orvix {

class StatusStrip : public QWidget {
    Q_OBJECT

public:
    struct Lines {
        int status = 0;
        QString statusText;
        QString infoText;
    };

    // `lines` gives the current texts whenever the strip paints.
    StatusStrip(QWidget* window, std::function<Lines()> lines);

    // Over the picture view, along the bottom of the window.
    void showOverPicture();
    // How many times the lines were laid out.
    int layouts() const { return layouts_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The strip is painted again over every picture; its lines are drawn
    // into `laidOut_` only when they or the strip's size change.
    void layOut(const Lines& lines);

    std::function<Lines()> lines_;
    QFont font_;
    QImage laidOut_;
    QSize laidOutSize_;
    Lines shown_;
    int layouts_ = 0;
};

}  // namespace orvix
