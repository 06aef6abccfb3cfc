// What the Qt video tests share: a decoded test picture, colour checks and
// an event loop run until a condition holds. The QApplication is made once
// per test program (video_qt_support.cpp).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <string>
#include <vector>

#include "link/display_frame.h"
#include "media/overlay_text.h"
#include "media/renderer_kind.h"

namespace orvix {

// A decoded picture as the decoder leaves it: blue, green, red, 255; the
// left half in one colour, the right half in another.
struct TestFrame {
    DisplayFrame frame;
    std::vector<uint8_t> pixels;
    std::u16string name = u"Lobby";

    TestFrame(int width, int height, QRgb left, QRgb right, int mode = 0) {
        pixels.resize(static_cast<size_t>(width) * height * 4);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const QRgb c = x < width / 2 ? left : right;
                uint8_t* p = pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
                p[0] = static_cast<uint8_t>(qBlue(c));
                p[1] = static_cast<uint8_t>(qGreen(c));
                p[2] = static_cast<uint8_t>(qRed(c));
                p[3] = 255;
            }
        }
        frame.picture = pixels.data();
        frame.width = width;
        frame.height = height;
        frame.rowBytes = width * 4;
        frame.sourceRect = FrameRect{0, 0, width, height};
        frame.mode = mode;
        frame.name = name.c_str();
        const std::u16string date = u"2009:03:07 13:05:09";
        date.copy(frame.dateText, date.size());
    }
    OverlayRows overlay(RendererKind kind = RendererKind::Software) const {
        return buildOverlay(frame, kind, OverlayStats{1, 25, 300});
    }
};

inline const QRgb kRed = qRgb(255, 0, 0);
inline const QRgb kBlue = qRgb(0, 0, 255);
inline const QRgb kGreen = qRgb(0, 255, 0);
inline const QRgb kGrey = qRgb(90, 90, 90);

inline bool isYellow(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 100; }
inline bool isBlue(QRgb c) { return qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80; }

inline int countPixels(const QImage& image, const QRect& area, bool (*test)(QRgb)) {
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) count += test(image.pixel(x, y)) ? 1 : 0;
    }
    return count;
}

// Runs the event loop until `done` holds (a guard against hangs).
template <typename Done>
bool processUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace orvix
