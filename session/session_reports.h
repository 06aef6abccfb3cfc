// The one place where a pooled recorder reads what its session reports: the
// session's events, handled on the recorder's thread through a message loop,
// and the session's status, looked at after each of them. Both are
// turned into a few typed reports, in order, on the recorder's thread.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "core/channel_set.h"
#include "core/device_record.h"
#include "media/video_codec.h"
#include "session/message_loop.h"
#include "session/session_events.h"

namespace orvix {

class VideoSession;

struct SessionReport {
    enum class Kind {
        Described,           // the recorder described itself: `codec`, `cameras`; `again` after a reconnect
        VideoFlows,          // video flows on the channels asked for
        ReconnectScheduled,  // the connection was lost (`cause`): attempt `attempt` follows after `delayMs`
        Failed,              // the connection failed for good: `cause`; `loginRefused` for a refused account
    };
    Kind kind = Kind::Described;
    VideoCodec codec = VideoCodec::None;
    int cameras = 0;  // 1 to 16, 0 when the recorder gave no usable count
    bool again = false;
    std::string cause;
    int delayMs = 0;
    int attempt = 0;
    bool loginRefused = false;
};

class SessionReports final : private SessionEvents {
public:
    using Handler = std::function<void(const SessionReport& report)>;
    explicit SessionReports(Handler handler) : handler_(std::move(handler)) {}
    SessionReports(const SessionReports&) = delete;
    SessionReports& operator=(const SessionReports&) = delete;

    // The thread and the events a session on this recorder reports to.
    OwnerThread& owner() { return loop_; }
    SessionEvents& events() { return *this; }

    // Recorder thread: a new session, before it is set up.
    void begin(VideoSession& session);
    // Recorder thread, once the session's threads have stopped: what it
    // posted and was not handled yet is forgotten.
    void end();

    // Recorder thread: handles what arrives until `deadline` (or a wake),
    // then reports what the session's status shows (a failure, video
    // flowing). The handler may end the session.
    void run(std::chrono::steady_clock::time_point deadline);
    // Recorder thread: waits `milliseconds` while handling notifications
    // (for a disconnect, which the link thread may be notifying through).
    void waitHandling(int milliseconds) { loop_.runFor(milliseconds); }
    // Recorder thread: video flows now (status 9 in the recorder exchange).
    bool videoFlows() const;

    // Any thread: run() returns soon.
    void wake() { loop_.wake(); }

private:
    enum class Phase { Idle, Running, Flowing, Ended };

    // SessionEvents, on the recorder's thread.
    void connected(const RecorderDescription& recorder) override;
    void networkError() override { networkError_ = true; }
    void linkEnded(const LinkEnd& end) override;
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;
    void check();
    std::optional<std::string> failure(bool& loginRefused) const;

    Handler handler_;
    MessageLoop loop_;
    VideoSession* session_ = nullptr;
    Phase phase_ = Phase::Idle;
    bool described_ = false;  // since begin()
    VideoCodec codec_ = VideoCodec::None;
    bool networkError_ = false;
    std::optional<std::string> finalEnd_;
};

}  // namespace orvix
