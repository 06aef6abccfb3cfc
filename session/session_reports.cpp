#include "session/session_reports.h"

#include "link/link_status.h"
#include "session/video_session.h"

namespace orvix {

void SessionReports::begin(VideoSession& session) {
    session_ = &session;
    phase_ = Phase::Running;
    described_ = false;
    codec_ = VideoCodec::None;
    networkError_ = false;
    finalEnd_.reset();
}

void SessionReports::end() {
    // An end the link posted before it stopped is this session's.
    loop_.forgetPosted();
    session_ = nullptr;
    phase_ = Phase::Idle;
}

void SessionReports::run(std::chrono::steady_clock::time_point deadline) {
    loop_.runUntil(deadline, true);
    check();
}

bool SessionReports::videoFlows() const {
    return session_ != nullptr && session_->streaming();
}

void SessionReports::check() {
    if (session_ == nullptr || phase_ == Phase::Ended) return;
    SessionReport report;
    if (auto cause = failure(report.loginRefused)) {
        phase_ = Phase::Ended;
        report.kind = SessionReport::Kind::Failed;
        report.cause = std::move(*cause);
        handler_(report);
        return;
    }
    if (phase_ == Phase::Running && videoFlows()) {
        phase_ = Phase::Flowing;
        report.kind = SessionReport::Kind::VideoFlows;
        handler_(report);
    }
}

std::optional<std::string> SessionReports::failure(bool& loginRefused) const {
    // The link says itself how it ended (closed, reset, refused, no answer,
    // a cut command, a DDNS answer that leads nowhere), once no reconnect
    // follows: an end with a reconnect scheduled or pending is no failure.
    if (finalEnd_) return finalEnd_;
    // The box comes only when no reconnect follows; the link recorded its
    // end before.
    if (networkError_) {
        const LinkEnd end = session_->linkEnd();
        return end.ended() ? end.text : std::string("network error");
    }
    const int status = session_->status();
    if (status == kStatusLoginFail) {
        loginRefused = true;
        return std::string("the recorder refused the login");
    }
    if (status == kStatusModelMismatch) return std::string("the recorder's description was not understood");
    if (!session_->isSetUp()) return std::string("no connection");
    // A model without video would never become ready.
    if (described_ && codec_ == VideoCodec::None) return std::string("the recorder's model sends no video ORVIX can show");
    return std::nullopt;
}

void SessionReports::connected(const RecorderDescription& recorder) {
    if (session_ == nullptr) return;
    SessionReport report;
    report.kind = SessionReport::Kind::Described;
    report.codec = codecForModel(recorder.modelIndex);
    const int cameras = recorder.cameraCount;
    report.cameras = cameras > 0 && cameras <= kMaxChannels ? cameras : 0;
    report.again = described_;
    described_ = true;
    codec_ = report.codec;
    handler_(report);
}

void SessionReports::linkEnded(const LinkEnd& end) {
    if (session_ != nullptr) finalEnd_ = end.text.empty() ? std::string("the connection ended") : end.text;
}

void SessionReports::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    if (session_ == nullptr || phase_ == Phase::Ended) return;
    phase_ = Phase::Running;
    SessionReport report;
    report.kind = SessionReport::Kind::ReconnectScheduled;
    report.cause = end.text;
    report.delayMs = delayMs;
    report.attempt = attempt;
    handler_(report);
}

}  // namespace orvix
