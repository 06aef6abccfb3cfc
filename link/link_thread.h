// The thread that drives one connection: it connects to the recorder (first
// asking the DDNS server for its address when the record says so), reads the
// socket, hands the bytes to the stream parsers and answers what they find:
// login, data request, echo, record and search information, DDNS replies.
//
// Its state is LinkShared::threadState: 0 stopped, 1 ready, 2 connect,
// 3 DDNS exchange, 4 reconnect to the recorder, 6 recorder exchange, 7 stop
// requested. The window thread writes 2 (connect) and 7 (stop); the link
// thread moves between the others and writes 0 when it ends. The link thread
// never overwrites a stop request: its own moves apply only while the state
// is neither 7 nor 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <thread>

#include "link/stream_parser.h"
#include "link/window_messages.h"

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
    void onVideo(const uint8_t* packet, size_t length, PushDiscipline discipline) override;

private:
    void run();
    void connectPass();
    void exchangePass(int state);
    void reconnectPass();

    void handleConnectOk(const uint8_t* payload, size_t length);
    void handleLoginOk(const uint8_t* payload, size_t length);
    void handleTimeRange(uint32_t code, const uint8_t* payload);
    void handleDdnsInfo(const uint8_t* payload, size_t length);

    // status := value, then VWM_REFRESH.
    void setStatus(int value);
    void notify(WindowMessage message, WParam wParam, LParam lParam);
    // The thread state := next, unless a stop was requested (or it ended).
    bool moveTo(int next);
    // COMMAND_CONNECT_REQ to `host` and `port`.
    void connectTo(std::u16string_view host, int port);
    // Status 1 with the record's recorder address, and the connect to it.
    void connectToRecorder();

    RecorderConnection& c_;
    std::thread thread_;
};

}  // namespace orvix
