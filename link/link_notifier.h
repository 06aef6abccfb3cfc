// How the link reports to the owner of its connection. Every report carries
// copies of what it tells, never a pointer into the link's buffers or its
// record. The link thread waits until the owner has handled statusChanged(),
// socketResetWanted(), connected(), rangeKnown(), rangeRefused() and
// networkError(); linkEnded() and reconnectScheduled() are posted and return
// at once. All are called on the link thread.
#pragma once

#include <cstdint>
#include <optional>

#include "link/link_end.h"

namespace orvix {

// What the recorder said about itself when it accepted the connection, as
// the link stored it in the record.
struct RecorderDescription {
    int32_t modelIndex = 0;  // set from the model code; chooses framing, codec and channels
    uint32_t modelCode = 0;
    uint16_t protocolVersion = 0;
    int cameraCount = 0;
    int32_t framingKind = 0;
};

// Which request a time range answers.
enum class RangeKind {
    Record,  // COMMAND_RECORD_INFO: the recorded range
    Search,  // COMMAND_SEARCH_INFO
};

// Two times in seconds since 1970, as the recorder sent them.
struct TimeRange {
    uint32_t start = 0;
    uint32_t end = 0;
};

// The reports about a connection, typed. The link makes them on its thread
// to a LinkNotifier; a session hands them on to its front end, on the
// owner's thread, as SessionEvents.
class ConnectionReports {
public:
    virtual ~ConnectionReports() = default;

    // The status changed: the status line is to be drawn again.
    virtual void statusChanged() {}
    // The recorder accepted the connection and described itself.
    virtual void connected(const RecorderDescription& recorder) { (void)recorder; }
    // The recorder answered a record or search information request with a
    // usable range (two different nonzero times).
    virtual void rangeKnown(RangeKind kind, const TimeRange& range) {
        (void)kind;
        (void)range;
    }
    // The recorder had no usable range: `values` holds what it sent instead
    // (equal or zero times), and is empty when it refused outright.
    virtual void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) {
        (void)kind;
        (void)values;
    }
    // The connection was lost and no reconnect follows: the "Network Error
    // occurred" message box. linkEnded() follows.
    virtual void networkError() {}
    // The link ended by itself (the status line and the info line already
    // say so); it idles until it is started again or stopped.
    virtual void linkEnded(const LinkEnd& end) { (void)end; }
    // The connection was lost (or a connect attempt failed) and the link
    // connects again by itself after `delayMs` (attempt `attempt`, from 1).
    // Sent in place of linkEnded() and of networkError().
    virtual void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
        (void)end;
        (void)delayMs;
        (void)attempt;
    }
};

// The link's owner as the link thread reaches it. linkEnded() and
// reconnectScheduled() must not wait for the receiver.
class LinkNotifier : public ConnectionReports {
public:
    // The socket is to be closed and created again before the link connects
    // to the recorder the DDNS server named.
    virtual void socketResetWanted() {}
};

}  // namespace orvix
