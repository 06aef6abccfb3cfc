#include "gui/direct_output.h"

#include <QRegion>
#include <algorithm>
#include <cstring>

#include "gui/aspect_fit.h"

namespace orvix {
namespace {

QImage wrap(const XShmSurface::Buffer& buffer) {
    return QImage(buffer.pixels, buffer.width, buffer.height, buffer.rowBytes, QImage::Format_RGB32);
}

}  // namespace

bool DirectOutput::open(uint32_t window) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool opened = surface_.open(std::string(), window);
    usable_.store(opened);
    return opened;
}

std::string DirectOutput::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return surface_.error();
}

QRect DirectOutput::bandRect(const QSize& view) const {
    const int height = std::min(StatusBand::kHeight, view.height());
    return QRect(0, view.height() - height, view.width(), height);
}

bool DirectOutput::present(const DisplayFrame& frame, const OverlayRows& overlay, const QSize& view) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!usable_.load()) return false;
    if (frame.picture == nullptr) return true;
    const QSize picture(frame.width, frame.height);
    const QSize size = view.isEmpty() ? picture : view;
    XShmSurface::Buffer* buffer = surface_.take(size.width(), size.height());
    if (buffer == nullptr) {
        if (!surface_.failed()) return true;  // the server is behind: this picture is skipped
        usable_.store(false);
        return false;
    }
    QImage image = wrap(*buffer);
    const QRect target = fitPicture(image.rect(), picture);
    QPainter painter(&image);
    for (const QRect& bar : QRegion(image.rect()).subtracted(target)) painter.fillRect(bar, Qt::black);
    scaler_.scale(frame.picture, frame.width, frame.height, frame.rowBytes,
                  buffer->pixels + static_cast<ptrdiff_t>(target.y()) * buffer->rowBytes + target.x() * 4,
                  target.width(), target.height(), buffer->rowBytes);
    overlay_.paint(painter, target, picture, overlay, recording_.load());
    // The pixels the status lines cover are kept, so that the GUI can paint
    // this picture again with other lines.
    const QRect band = bandRect(size);
    const QImage& lines = band_.image(lines_, band.size(), 1.0);
    underLinesAt_ = band_.painted().translated(band.topLeft());
    if (underLines_.size() != underLinesAt_.size()) underLines_ = QImage(underLinesAt_.size(), QImage::Format_RGB32);
    for (int y = 0; y < underLinesAt_.height() && !underLines_.isNull(); ++y) {
        std::memcpy(underLines_.scanLine(y), image.constScanLine(underLinesAt_.y() + y) + underLinesAt_.x() * 4,
                    static_cast<size_t>(underLinesAt_.width()) * 4);
    }
    if (!underLinesAt_.isEmpty()) painter.drawImage(underLinesAt_.topLeft(), lines, band_.painted());
    painter.end();
    if (!surface_.put(*buffer)) {
        usable_.store(false);
        last_ = nullptr;
        return false;
    }
    last_ = buffer;
    counter_.painted(presented_.fetch_add(1) + 1);
    return true;
}

void DirectOutput::setRecordingMark(bool on) { recording_.store(on); }

bool DirectOutput::setStatusLines(const StatusLines& lines) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines == lines_) return false;
    lines_ = lines;
    return true;
}

bool DirectOutput::paintLast(QPainter& painter, const QRect& area) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (last_ == nullptr) return false;
    QImage shown = wrap(*last_).copy();
    const QRect band = bandRect(shown.size());
    QPainter over(&shown);
    if (!underLinesAt_.isEmpty()) over.drawImage(underLinesAt_.topLeft(), underLines_);
    over.drawImage(band.topLeft(), band_.image(lines_, band.size(), 1.0));
    over.end();
    painter.drawImage(area, shown);
    return true;
}

}  // namespace orvix
