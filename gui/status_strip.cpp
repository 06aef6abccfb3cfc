#include "gui/status_strip.h"

#include <QPainter>

namespace orvix {

StatusStrip::StatusStrip(QWidget* window, std::function<Lines()> lines)
    : QWidget(window), lines_(std::move(lines)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    hide();
}

void StatusStrip::showOverPicture() {
    const QWidget* window = parentWidget();
    if (window == nullptr) return;
    const QRect place(0, window->height() - StatusBand::kHeight, window->width(), StatusBand::kHeight);
    // Asked again with every picture: when it already lies on top where it
    // belongs there is nothing to do (the picture's repaint beneath it
    // repaints it too).
    if (isVisible() && geometry() == place && !window->children().isEmpty() && window->children().constLast() == this) {
        return;
    }
    setGeometry(place);
    show();
    raise();
    update();
}

void StatusStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, band_.image(lines_(), size(), devicePixelRatioF()));
}

}  // namespace orvix
