// The client socket of a connection: IPv4 TCP, non-blocking, used from the
// link thread (receive, query, send) and the window thread (send, close,
// re-create) without a lock; the descriptor itself is atomic.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvix {

class TcpSocket {
public:
    static constexpr int kWouldBlock = EAGAIN;
    static constexpr int kInvalidArgument = EINVAL;
    // Longest a send waits for room in a full socket buffer.
    static constexpr int kSendWaitMs = 2000;

    enum class WaitResult { Timeout, Readable, EndOfStream, NotOpen };

    TcpSocket() = default;
    ~TcpSocket() { close(); }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A new non-blocking IPv4 stream socket bound to any local port; closes
    // an open one first. False (error kept) when it cannot be made or bound.
    bool create();
    // Starts a non-blocking connect and returns at once. The host is a dotted
    // address or a name to look up; a failed look-up sets kInvalidArgument
    // and starts nothing. Returns 0 when a connect was started, else -1.
    int connect(std::u16string_view host, uint16_t port);
    // Sends all bytes, waiting up to kSendWaitMs for room; never raises
    // SIGPIPE. Returns the bytes sent, or -1 (error kept) when none were.
    int send(const uint8_t* data, size_t length);
    // Bytes received; 0 when the peer closed; -1 and the error otherwise.
    int receive(uint8_t* buffer, size_t capacity);
    // The FIONREAD count, or -1 when the query fails (socket closed).
    int bytesWaiting();
    // Waits at most `timeoutMs` for bytes. A connect that failed is reported
    // once on the debug output ("Connect Error"); error states and a closed
    // socket wait out the time instead of returning at once.
    WaitResult waitReadable(int timeoutMs);
    // Closes the socket; nothing happens when it is already closed.
    void close();

    bool isOpen() const { return fd_.load() >= 0; }
    int lastError() const { return error_.load(); }
    int descriptor() const { return fd_.load(); }

private:
    std::atomic<int> fd_{-1};
    std::atomic<int> error_{0};
    std::atomic<bool> connectErrorReported_{false};
};

}  // namespace orvix
