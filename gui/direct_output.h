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
#include <array>
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
    // window. A picture the X server is still too busy for (after a wait of
    // up to a second) is skipped. False when the way to the server failed:
    // unusable from then on.
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
    // A picture put into the window: its buffer, and its pixels where its
    // status lines were drawn (so it can be shown again with other lines).
    struct Put {
        const XShmSurface::Buffer* buffer = nullptr;
        QRect underLinesAt;
        QImage underLines;
    };

    QRect bandRect(const QSize& view) const;
    // Display thread: the way to the server failed; unusable from now on.
    bool fail();

    // Held only briefly, never while waiting for the X server: the GUI's
    // status lines and repaints take it too.
    mutable std::mutex mutex_;
    std::string error_;
    StatusLines lines_;
    // The two pictures put last, taking turns; `shown_` is the one the
    // window shows (-1: none). The display thread writes only the other
    // one, and makes it the shown one under the lock once it is put.
    std::array<Put, 2> puts_;
    int shown_ = -1;

    // Display thread only, once opened.
    XShmSurface surface_;
    NearestScaler scaler_;
    OverlayLayer overlay_;
    StatusBand band_;
    PresentedCounter counter_;

    StatusBand paintedBand_;  // GUI thread only
    std::atomic<uint64_t> presented_{0};
    std::atomic<bool> recording_{false};
    std::atomic<bool> usable_{false};
};

}  // namespace orvix
