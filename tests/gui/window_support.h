// Helpers for driving the video window on the GUI thread of a test: running
// the event loop until something holds, running blocking peer code on a
// thread of its own meanwhile, an owner that records what it is forwarded,
// and pixel counting in grabbed pictures.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "core/window_messages.h"
#include "tests/link/stream_builders.h"

namespace orvix::test {

// Runs the event loop until `done` holds; false after `guardMs` (a guard
// against hangs, not a timing check).
bool processUntil(const std::function<bool()>& done, int guardMs = 60000);

// Runs `work` (which may block, e.g. on a peer socket) on another thread
// while this thread keeps handling events, so messages the window is sent
// meanwhile are handled.
void runWhileProcessing(const std::function<void()>& work);

// The main dialog as the window sees it.
class CapturingOwner : public MessageTarget {
public:
    struct Message {
        uint32_t message = 0;
        WParam wParam = 0;
        LParam lParam = 0;
        uint32_t first = 0;  // the two values of a time-range payload, read while handled
        uint32_t second = 0;
        bool onGuiThread = false;
    };

    LParam sendMessage(uint32_t message, WParam wParam, LParam lParam) override;

    std::vector<Message> messages() const;
    size_t count(uint32_t message) const;
    // Called with each message after it is recorded, on the handling thread.
    std::function<void(uint32_t)> onMessage;

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

// Threads of this process.
int threadCount();

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test);
// Pixels within `tolerance` of `colour` in each component.
int countColour(const QImage& image, const QRect& area, QRgb colour, int tolerance = 40);

}  // namespace orvix::test
