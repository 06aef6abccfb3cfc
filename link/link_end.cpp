#include "link/link_end.h"

namespace orvix {

bool isConnectionLoss(LinkEndCause cause) {
    switch (cause) {
    case LinkEndCause::PeerClosed:
    case LinkEndCause::Reset:
    case LinkEndCause::ReceiveError:
    case LinkEndCause::SendFailed:
    case LinkEndCause::Stalled:
        return true;
    default:
        return false;
    }
}

const char* linkEndCauseName(LinkEndCause cause) {
    switch (cause) {
    case LinkEndCause::None:
        return "none";
    case LinkEndCause::PeerClosed:
        return "peer-closed";
    case LinkEndCause::Reset:
        return "reset";
    case LinkEndCause::ReceiveError:
        return "receive-error";
    case LinkEndCause::ConnectRefused:
        return "connect-refused";
    case LinkEndCause::ConnectFailed:
        return "connect-failed";
    case LinkEndCause::ConnectTimeout:
        return "connect-timeout";
    case LinkEndCause::SendFailed:
        return "send-failed";
    case LinkEndCause::DdnsRefusedAnswer:
        return "ddns-refused-answer";
    case LinkEndCause::DdnsLoop:
        return "ddns-loop";
    case LinkEndCause::Stalled:
        return "stalled";
    case LinkEndCause::NoAnswer:
        return "no-answer";
    }
    return "?";
}

}  // namespace orvix
