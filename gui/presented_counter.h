// Counts the pictures the program has actually put on screen, over all its
// views, so that its own cost per displayed picture can be measured from
// outside. A view calls painted() where it draws a handed-over picture;
// repaints of the same picture (an expose, a resize) count once.
//
// With ORVIX_STATS=1 in the environment the program writes
// "displayed N pictures" to stderr on SIGUSR1 and at exit; otherwise
// nothing is reported and SIGUSR1 keeps its default action.
#pragma once

#include <cstdint>

namespace orvix {

class PresentedCounter {
public:
    // The view's thread: the picture with this hand-over serial is on
    // screen now (0: no picture, not counted).
    void painted(uint64_t serial);

    // Any thread, and from a signal handler: pictures painted so far by
    // every counter of the process.
    static uint64_t total();

private:
    uint64_t lastSerial_ = 0;
};

// Main thread, once at start: installs the SIGUSR1 and exit reports when
// ORVIX_STATS is set to anything but empty or "0". Returns whether it did.
bool enablePresentedReport();

}  // namespace orvix
