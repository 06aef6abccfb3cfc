// How the link reports to the window that owns it. Every call is
// synchronous: it returns when the receiver has handled it.
#pragma once

#include <cstdint>

#include "link/window_messages.h"

namespace orvix {

class LinkNotifier {
public:
    virtual ~LinkNotifier() = default;
    // VWM_REFRESH, VWM_SOCKET_RESET, VWM_RECORD_INFO, VWM_SEARCH_INFO,
    // VWM_RECORD_INFO_FAIL and VWM_CONNECTED, with their parameters.
    virtual void notify(WindowMessage message, WParam wParam, LParam lParam) = 0;
    // The "Network Error occurred" message box.
    virtual void showNetworkError() = 0;
};

}  // namespace orvix
