#include "gui/failure_hint.h"

#include "link/link_status.h"

namespace orvix {

QString failureHint(int status, bool linkEnded) {
    // A refused login is never tried again; a failed connect may be, and
    // then the countdown is what the user needs to see.
    if (status == kStatusLoginFail) return QStringLiteral("Check the account and password with Info Setup");
    if (status == kStatusConnectFail && linkEnded) return QStringLiteral("Check the address, or that the recorder is on");
    return QString();
}

}  // namespace orvix
