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
    const bool opened = surface_.open(std::string(), window);
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = surface_.error();
    usable_.store(opened);
    return opened;
}

std::string DirectOutput::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

QRect DirectOutput::bandRect(const QSize& view) const {
    const int height = std::min(StatusBand::kHeight, view.height());
    return QRect(0, view.height() - height, view.width(), height);
}

bool DirectOutput::fail() {
    usable_.store(false);
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = surface_.error();
    shown_ = -1;
    return false;
}

bool DirectOutput::present(const DisplayFrame& frame, const OverlayRows& overlay, const QSize& view) {
    if (!usable_.load()) return false;
    if (frame.picture == nullptr) return true;
    const QSize picture(frame.width, frame.height);
    const QSize size = view.isEmpty() ? picture : view;
    // The wait for the server happens without the lock.
    XShmSurface::Buffer* buffer = surface_.take(size.width(), size.height());
    if (buffer == nullptr) return surface_.failed() ? fail() : true;  // busy: this picture is skipped
    StatusLines lines;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines = lines_;
    }
    // The display thread is the only one to change shown_.
    const int slot = shown_ == 0 ? 1 : 0;
    Put& put = puts_[static_cast<size_t>(slot)];

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
    const QImage& lineImage = band_.image(lines, band.size(), 1.0);
    put.underLinesAt = band_.painted().translated(band.topLeft());
    if (put.underLines.size() != put.underLinesAt.size()) {
        put.underLines = QImage(put.underLinesAt.size(), QImage::Format_RGB32);
    }
    for (int y = 0; y < put.underLinesAt.height() && !put.underLines.isNull(); ++y) {
        std::memcpy(put.underLines.scanLine(y),
                    image.constScanLine(put.underLinesAt.y() + y) + put.underLinesAt.x() * 4,
                    static_cast<size_t>(put.underLinesAt.width()) * 4);
    }
    if (!put.underLinesAt.isEmpty()) painter.drawImage(put.underLinesAt.topLeft(), lineImage, band_.painted());
    painter.end();
    if (!surface_.put(*buffer)) return fail();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        put.buffer = buffer;
        shown_ = slot;
    }
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
    QImage shown;
    StatusLines lines;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shown_ < 0) return false;
        const Put& put = puts_[static_cast<size_t>(shown_)];
        shown = wrap(*put.buffer).copy();
        QPainter under(&shown);
        if (!put.underLinesAt.isEmpty()) under.drawImage(put.underLinesAt.topLeft(), put.underLines);
        lines = lines_;
    }
    const QRect band = bandRect(shown.size());
    QPainter over(&shown);
    over.drawImage(band.topLeft(), paintedBand_.image(lines, band.size(), 1.0));
    over.end();
    painter.drawImage(area, shown);
    return true;
}

}  // namespace orvix
