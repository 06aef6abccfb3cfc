#include "gui/direct_view.h"

#include <QPainter>

#include "gui/aspect_fit.h"

namespace orvix {

DirectView::DirectView(FrameHandOver& handOver, DirectOutput& output, QWidget* parent)
    : QWidget(parent), handOver_(handOver), output_(output) {
    // Its own X window, without making the window it lies in native too.
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_OpaquePaintEvent);
    winId();
}

QRect DirectView::pictureRect() const { return fitPicture(rect(), handOver_.latest().picture); }

void DirectView::resizeEvent(QResizeEvent*) { handOver_.setViewSize(size() * devicePixelRatio()); }

void DirectView::paintEvent(QPaintEvent*) {
    ++paints_;
    QPainter painter(this);
    if (!output_.paintLast(painter, rect())) painter.fillRect(rect(), Qt::black);
}

}  // namespace orvix
