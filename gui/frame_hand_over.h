// Hands finished pictures from the display thread to the GUI thread. The
// newest picture wins; posting never waits for the GUI, which is told with
// one queued notification per batch of posts.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "media/overlay_text.h"

namespace orvix {

struct HandedFrame {
    QImage image;    // the back buffer the picture was composed in
    QRect source;    // the picture's part of it: (0, 0, width, height)
    QSize picture;   // the decoded picture's size; source is smaller or
                     // larger where it was scaled to the view on the way
    OverlayRows overlay;  // the texts the views draw over the picture
    uint64_t serial = 0;  // 0: nothing posted yet
};

class FrameHandOver : public QObject {
    Q_OBJECT

public:
    explicit FrameHandOver(QObject* parent = nullptr);

    // Whether a post tells the GUI thread: always, or (for pictures that
    // are on screen already) only for the first one, a new size, and a
    // few times a second otherwise.
    enum class Notify { Always, Sparingly };
    static constexpr std::chrono::milliseconds kSparingInterval{250};

    // GUI thread: while on, every post tells the GUI (a recording's file
    // begins with the first picture the GUI hears of).
    void setEager(bool on) { eager_.store(on); }

    // Any thread. The image is shared, not copied. An empty `picture` is
    // the source's size.
    void post(const QImage& image, const QRect& source, const OverlayRows& overlay = OverlayRows(),
              const QSize& picture = QSize(), Notify notify = Notify::Always);
    // Any thread: the newest frame (a shared copy).
    HandedFrame latest() const;
    // Forgets the frame (a connection ended).
    void clear();

    // The size, in device pixels, of the view the software renderer's
    // pictures are shown in: set by that view (GUI thread), read by the
    // renderer (display thread) to scale each picture to it on the way.
    // Empty until the view has a size.
    void setViewSize(const QSize& size);
    QSize viewSize() const;

signals:
    // On the GUI thread, after one or more posts.
    void frameReady();

private:
    Q_INVOKABLE void deliver();

    // A standard mutex rather than QMutex: the system's Qt is not built for
    // ThreadSanitizer, which then could not see the hand-over's ordering.
    mutable std::mutex mutex_;
    HandedFrame latest_;
    bool notifyPending_ = false;
    std::chrono::steady_clock::time_point notifiedAt_;
    std::atomic<bool> eager_{false};
    std::atomic<uint64_t> viewSize_{0};  // width << 32 | height
};

}  // namespace orvix
