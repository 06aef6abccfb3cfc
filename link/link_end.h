// How a connection ended before the user disconnected: the cause as a type
// (what a front end or a reconnect policy acts on) and the text the info
// line shows. The link thread records it once per start of the link; the
// owner's thread reads it at any time.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace orvix {

enum class LinkEndCause {
    None,               // the link has not ended
    PeerClosed,         // the recorder (or DDNS server) closed the connection
    Reset,              // the connection was reset
    ReceiveError,       // another receive error
    ConnectRefused,     // nothing listens at the address
    ConnectFailed,      // the address was not found or cannot be reached
    ConnectTimeout,     // the connect did not complete in time
    SendFailed,         // a command went out only in part: the stream is cut
    DdnsRefusedAnswer,  // the DDNS server answered with an address no recorder can have
    DdnsLoop,           // the DDNS answers keep leading to DDNS servers
    Stalled,            // nothing came from the recorder for too long at status 9
    NoAnswer,           // connected, but a step of connecting was not answered in time
};

struct LinkEnd {
    LinkEndCause cause = LinkEndCause::None;
    std::string text;  // for the info line, e.g. "Connection reset by the recorder"

    bool ended() const { return cause != LinkEndCause::None; }
};

// True for the loss of a connection that was up, which the user is told of
// with the "Network Error occurred" box; false for a connect that never got
// there (the status line says "Connect FAIL").
bool isConnectionLoss(LinkEndCause cause);

// A short name for logs and tests: "peer-closed", "reset", ...
const char* linkEndCauseName(LinkEndCause cause);

// The end of the current run of the link. Written by the link thread (the
// first end wins until cleared), cleared by the owner before the link is
// started again; read from any thread.
class LinkEndRecord {
public:
    // Records `end` unless an end is recorded already; true when recorded.
    bool set(LinkEnd end) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (value_.ended()) return false;
        value_ = std::move(end);
        ended_.store(true);
        return true;
    }
    LinkEnd get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    bool ended() const { return ended_.load(); }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = {};
        ended_.store(false);
    }

private:
    mutable std::mutex mutex_;
    LinkEnd value_;
    std::atomic<bool> ended_{false};
};

}  // namespace orvix
