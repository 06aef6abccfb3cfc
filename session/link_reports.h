// The link's reports as a session hands them on: each becomes a task on the
// owner's thread (waited for or posted, as the link reports it) that keeps
// the session's own state (the recorder's description, the socket) and then
// tells the front end. A task of a connection that has been torn down since
// does nothing: a past connection's reports never reach the next one.
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "link/link_notifier.h"
#include "session/owner_thread.h"
#include "session/session_events.h"
#include "session/video_session.h"

namespace orvix {

class VideoSession::Reports final : public LinkNotifier, public std::enable_shared_from_this<Reports> {
public:
    explicit Reports(VideoSession& session) : session_(session) {}

    // LinkNotifier, on the link thread.
    void statusChanged() override {
        send([](VideoSession& s) { s.events_.statusChanged(); });
    }
    void socketResetWanted() override {
        // Once the link thread has ended (a stop let it go on) the socket
        // is the tear-down's.
        send([](VideoSession& s) {
            if (s.threadsRunning()) s.resetSocket();
        });
    }
    void connected(const RecorderDescription& recorder) override {
        send([recorder](VideoSession& s) {
            s.recorder_ = recorder;
            s.events_.connected(recorder);
        });
    }
    void rangeKnown(RangeKind kind, const TimeRange& range) override {
        send([kind, range](VideoSession& s) {
            s.rangeAnswered(range);
            s.events_.rangeKnown(kind, range);
        });
    }
    void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) override {
        send([kind, values](VideoSession& s) {
            s.rangeAnswered(std::nullopt);
            s.events_.rangeRefused(kind, values);
        });
    }
    void networkError() override {
        send([](VideoSession& s) { s.events_.networkError(); });
    }
    void linkEnded(const LinkEnd& end) override {
        session_.owner_.postReport(task([end](VideoSession& s) { s.events_.linkEnded(end); }));
    }
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override {
        session_.owner_.postReport(task([end, delayMs, attempt](VideoSession& s) {
            // The link comes back live.
            s.stepPlayback(PlaybackEvent::Reconnected);
            s.events_.reconnectScheduled(end, delayMs, attempt);
        }));
    }

private:
    // `event` run on the owner's thread while this connection's reports
    // are still wanted.
    template <typename Event>
    OwnerThread::Task task(Event event) {
        return [weak = weak_from_this(), event = std::move(event)] {
            if (const std::shared_ptr<Reports> self = weak.lock()) event(self->session_);
        };
    }
    template <typename Event>
    void send(Event event) {
        session_.owner_.sendReport(task(std::move(event)));
    }

    VideoSession& session_;
};

}  // namespace orvix
