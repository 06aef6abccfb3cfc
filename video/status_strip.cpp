#include "video/status_strip.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "video/status_line_painter.h"

namespace orvix {
namespace {

// Room for the two lines as the window draws them: status at 1-2, info at 20.
constexpr int kStripHeight = 38;

}  // namespace

StatusStrip::StatusStrip(QWidget* window, std::function<Lines()> lines)
    : QWidget(window), lines_(std::move(lines)), font_(statusLineFont()) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    hide();
}

void StatusStrip::showOverPicture() {
    const QWidget* window = parentWidget();
    if (window == nullptr) return;
    const QRect place(0, window->height() - kStripHeight, window->width(), kStripHeight);
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
    const Lines lines = lines_();
    if (laidOutSize_ != size() || laidOut_.devicePixelRatio() != devicePixelRatioF() ||
        lines.status != shown_.status || lines.statusText != shown_.statusText || lines.infoText != shown_.infoText) {
        layOut(lines);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, laidOut_);
}

void StatusStrip::layOut(const Lines& lines) {
    shown_ = lines;
    ++layouts_;
    laidOutSize_ = size();
    const qreal ratio = devicePixelRatioF();
    laidOut_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    laidOut_.setDevicePixelRatio(ratio);
    laidOut_.fill(Qt::transparent);
    QPainter painter(&laidOut_);
    // A dark band under the texts keeps them readable whatever the picture.
    const QFontMetrics metrics(font_);
    const int textWidth = std::max(metrics.horizontalAdvance(lines.statusText),
                                   metrics.horizontalAdvance(lines.infoText));
    const int bandHeight = lines.infoText.isEmpty() ? 20 : height();
    painter.fillRect(QRect(0, 0, textWidth + 8, bandHeight), QColor(0, 0, 0, 150));
    paintStatusLines(painter, font_, lines.status, lines.statusText, lines.infoText);
}

}  // namespace orvix
