// What a session tells its front end, each on the owner's thread and in the
// order the link reported it. Copies only: nothing points into the link.
#pragma once

#include <optional>

#include "link/link_end.h"
#include "link/link_notifier.h"

namespace orvix {

class SessionEvents {
public:
    virtual ~SessionEvents() = default;

    // The status changed (VideoSession::status(), statusLine()).
    virtual void statusChanged() {}
    // The recorder accepted the connection; the same description stays
    // readable through VideoSession::recorder().
    virtual void connected(const RecorderDescription& recorder) { (void)recorder; }
    // A record information (RangeKind::Record) or search information
    // (RangeKind::Search) reply with a usable range.
    virtual void rangeKnown(RangeKind kind, const TimeRange& range) {
        (void)kind;
        (void)range;
    }
    // A reply without a usable range: `values` are the times it carried,
    // none when the recorder refused outright.
    virtual void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) {
        (void)kind;
        (void)values;
    }
    // The connection was lost and no reconnect follows: the user is told
    // ("Network Error occurred"). linkEnded() follows.
    virtual void networkError() {}
    // The link ended by itself, with its cause; it idles until the front end
    // starts it again or disconnects.
    virtual void linkEnded(const LinkEnd& end) { (void)end; }
    // The connection ended and is made again after `delayMs` (attempt
    // `attempt`, from 1); in place of networkError() and linkEnded().
    virtual void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
        (void)end;
        (void)delayMs;
        (void)attempt;
    }
};

}  // namespace orvix
