// The thread that drives one connection: it connects to the recorder (first
// asking the DDNS server for its address when the record says so), reads the
// socket, hands the bytes to the stream parsers and answers what they find:
// login, data request, echo, record and search information, DDNS replies
// (a recorder's own DDNS commands are ignored).
//
// Its state is LinkShared::threadState: 0 stopped, 1 ready, 2 connect,
// 3 DDNS exchange, 4 reconnect to the recorder, 5 waiting to connect again,
// 6 recorder exchange, 7 stop requested. The window thread writes 2 (connect) and 7 (stop); the link
// thread moves between the others and writes 0 when it ends. The link thread
// never overwrites a stop request: its own moves apply only while the state
// is neither 7 nor 0.
//
// When the connection ends by itself (the peer closes or resets it, a
// receive fails, a command is cut, a connect fails or takes too long, a DDNS
// answer cannot be followed) the link records the cause in the connection,
// closes the socket, puts the cause on the info line, sets status 0 (a lost
// connection, told once by the "Network Error occurred" box) or 3 (a connect
// that never got there), posts linkEnded() and idles in state 1 until the
// disconnect.
//
// Once connected, each step of connecting (the DDNS server's answer, the
// recorder's description, the login answer, the data-send answer) has the
// policy's answer time; a step not answered in time ends the link with the
// cause, as a failed connect.
//
// With reconnect on (RecorderConnection::reconnect), once video has flowed
// (status 9) an end is followed by a new connect after the policy's delay
// (state 5; the status line counts down, reconnectScheduled() is posted in
// place of linkEnded() and the box). The new run asks the DDNS server again
// where there is one and resumes the record's channel and the "I only"
// option in live mode. A login refusal stops the retries. At status 9 the
// link also watches the stream: no byte for the policy's stall time ends the
// connection, no video of the shown channel for its silence time is told on
// the info line. Which of these applies is the run's phase (link_phase.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "core/window_messages.h"
#include "link/link_end.h"
#include "link/link_phase.h"
#include "link/reconnect_policy.h"
#include "link/stream_parser.h"

namespace orvix {

class RecorderConnection;

class LinkThread final : public StreamHandler {
public:
    // Pauses of the loop, in milliseconds.
    static constexpr int kIdleWaitMs = 100;        // ready state, idle socket, reconnect steps
    static constexpr int kWouldBlockPauseMs = 10;  // after a receive that would block or failed

    explicit LinkThread(RecorderConnection& connection);
    // A thread still running is asked to stop and joined; the window must
    // keep serving notifications meanwhile. Stop it with stopLink() instead.
    ~LinkThread() override;
    LinkThread(const LinkThread&) = delete;
    LinkThread& operator=(const LinkThread&) = delete;

    // Starts the thread. Before this the owner has allocated the connection's
    // buffers, set its shared state, notifier and record (and the decoder
    // opener, when there is one), created the socket, set resync := 1 and the
    // thread state to 1. False, starting nothing, when the thread already
    // runs or the connection is not set up.
    bool start();
    bool joinable() const { return thread_.joinable(); }
    void join();

    // Response handling, on the link thread (called by the stream parsers).
    // `payload` must be readable for at least 24 bytes, as the parsers'
    // decode buffer is; the fields a response lacks read as zero.
    void onCommand(uint32_t code, const uint8_t* payload, size_t length) override;
    // A filtered video packet goes into the frame ring.
    // Video came: the silence watch starts again and its notice goes.
    void videoArrived();
    void onVideo(const uint8_t* packet, size_t length, PushDiscipline discipline) override;
    void onChannelVideo(int channel, bool keyPicture, const uint8_t* packet, size_t length) override;

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void connectPass();
    void exchangePass(int state);
    void reconnectPass();
    // State 5: waits for the planned attempt, then connects again.
    void reconnectWaitPass();
    // At status 9: ends a stalled stream (true) or tells of missing video.
    // Both count only time the link was free to read.
    bool checkSilence();
    // A chunk was parsed from `start` until now. The link may have waited
    // meanwhile (a full frame ring behind a slow display, a busy window):
    // that time is not the recorder's silence, so the stall watch restarts
    // from now and the video watch leaves the wait out.
    void busySince(Clock::time_point start);
    // Plans the next attempt after an end; false when none is to be made.
    bool scheduleReconnect();
    // The recorder confirmed the data request: video flows (status 9).
    void videoFlowing();
    // A connect in progress: wait a little for it; fail it after the timeout.
    void awaitConnect();
    // Connected and waiting for an answer past its time: ends the link (true).
    bool answerOverdue();
    void connectFailed();
    // Records the end (unless a stop is under way or it ended already),
    // closes the socket, sets the info line and the status, tells the user
    // of a lost connection and posts linkEnded(); state 1.
    void endLink(LinkEndCause cause, const std::string& text);

    void handleConnectOk(const uint8_t* payload, size_t length);
    void handleLoginOk(const uint8_t* payload, size_t length);
    void handleTimeRange(uint32_t code, const uint8_t* payload);
    void handleDdnsInfo(const uint8_t* payload, size_t length);

    // status := value, then statusChanged().
    void setStatus(int value);
    // The thread state := next, unless a stop was requested (or it ended).
    bool moveTo(int next);
    // The run's phase after `event`; a new step of connecting starts its
    // answer time.
    void advance(LinkEvent event);
    // COMMAND_CONNECT_REQ to `host` and `port` (a new socket when the last
    // one was closed by an end); `ddnsServer` names the peer in the texts.
    void connectTo(std::u16string_view host, int port, bool ddnsServer);
    // Status 1 with the record's recorder address, and the connect to it.
    void connectToRecorder();

    RecorderConnection& c_;
    std::thread thread_;

    // Link thread only: the connect under way.
    std::string connectHost_;
    std::string connectTarget_;  // "127.0.0.1:3000", or "the DDNS server 127.0.0.1:9001"
    Clock::time_point connectDeadline_{};
    Clock::time_point answerDue_{};  // when the answer the phase waits for is overdue

    // Link thread only: the run's phase, and what the retries and the
    // watches need besides it.
    LinkPhase phase_ = LinkPhase::Idle;
    ReconnectPolicy policy_;         // the timings, copied at each connect
    int attempt_ = 0;                // attempts since video last flowed; 0: the user's connect
    std::string reconnectedText_;    // the info line once video flows again after a retry
    Clock::time_point reconnectAt_{};
    int64_t shownSecondsLeft_ = 0;
    Clock::time_point lastByte_{};
    Clock::time_point lastVideo_{};
    std::string videoSilenceText_;
    std::mt19937 random_;
};

}  // namespace orvix
