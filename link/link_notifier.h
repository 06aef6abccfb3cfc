// How the link reports to the window that owns it. notify() and
// showNetworkError() are synchronous: they return when the receiver has
// handled them. linkEnded() is posted: it returns at once.
#pragma once

#include <cstdint>

#include "core/window_messages.h"
#include "link/link_end.h"

namespace orvix {

class LinkNotifier {
public:
    virtual ~LinkNotifier() = default;
    // VWM_REFRESH, VWM_SOCKET_RESET, VWM_RECORD_INFO, VWM_SEARCH_INFO,
    // VWM_RECORD_INFO_FAIL and VWM_CONNECTED, with their parameters.
    virtual void notify(WindowMessage message, WParam wParam, LParam lParam) = 0;
    // The "Network Error occurred" message box.
    virtual void showNetworkError() = 0;
    // The link ended by itself (the status line and the info line already
    // say so). Called on the link thread; must not wait for the receiver.
    virtual void linkEnded(const LinkEnd& end) { (void)end; }
    // The connection was lost (or a connect attempt failed) and the link
    // connects again by itself after `delayMs` (attempt `attempt`, from 1).
    // Sent in place of linkEnded() and of the "Network Error occurred" box.
    // Called on the link thread; must not wait for the receiver.
    virtual void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
        (void)end;
        (void)delayMs;
        (void)attempt;
    }
};

}  // namespace orvix
