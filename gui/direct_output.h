// The single view's pictures put straight into the view's X window from the
// display thread: each picture is scaled once into shared memory the X
// server reads, with the black bars, the overlay and the status lines drawn
// there too, so the GUI thread does nothing per picture. The GUI thread
// paints the last picture only when the window needs it (an expose, a new
// size, other status lines) or is grabbed. Used where the program runs on
// an X server that shares memory with it; anywhere else open() says no and
// the view the GUI paints is used instead.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "gui/overlay_layer.h"
#include "gui/presented_counter.h"
#include "gui/status_band.h"
#include "gui/x_shm_surface.h"
#include "link/display_frame.h"
#include "media/nearest_scaler.h"
#include "media/overlay_text.h"

namespace orvix {

class DirectOutput {
public:
    // GUI thread, before the display thread starts. False when the window
    // cannot be drawn into this way; error() says why.
    bool open(uint32_t window);
    // Any thread: pictures can go this way (opened, and not failed since).
    bool usable() const { return usable_.load(); }
    std::string error() const;

    // Display thread: the frame's picture as large as fits `view` (device
    // pixels) in its display shape, centred, black bars around, the
    // overlay rows over it and the status lines along the bottom, into the
    // window. A picture the X server is still too busy for is skipped.
    // False when the way to the server failed: unusable from then on.
    bool present(const DisplayFrame& frame, const OverlayRows& overlay, const QSize& view);

    // GUI thread: the red "REC" mark, from the next picture on.
    void setRecordingMark(bool on);
    // GUI thread: the status lines drawn along the bottom. True when they
    // changed (the window then needs painting while pictures do not come).
    bool setStatusLines(const StatusLines& lines);
    // GUI thread: paints what the window shows into `area`: the last picture
    // put, with the current status lines. False when there was none.
    bool paintLast(QPainter& painter, const QRect& area);

    // Pictures put into the window so far.
    uint64_t presented() const { return presented_.load(); }

private:
    QRect bandRect(const QSize& view) const;

    mutable std::mutex mutex_;
    XShmSurface surface_;
    NearestScaler scaler_;
    OverlayLayer overlay_;
    StatusBand band_;
    StatusLines lines_;
    const XShmSurface::Buffer* last_ = nullptr;  // the picture the window shows
    QRect underLinesAt_;  // where the last picture's status lines were drawn
    QImage underLines_;   // the last picture's pixels there
    PresentedCounter counter_;
    std::atomic<uint64_t> presented_{0};
    std::atomic<bool> recording_{false};
    std::atomic<bool> usable_{false};
};

}  // namespace orvix
