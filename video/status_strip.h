// The status and info lines kept readable while pictures cover the video
// window: a transparent strip along the window's bottom edge, above the
// picture view, away from the overlay rows at the top. Without a picture the
// window paints the same lines over its logo instead. A translucent dark
// band behind the texts keeps them readable on any picture.
#pragma once

#include <QFont>
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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<Lines()> lines_;
    QFont font_;
};

}  // namespace orvix
