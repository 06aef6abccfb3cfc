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
    // TCP keep-alive on every socket: idle seconds, seconds between probes,
    // probes before the connection counts as dead.
    static constexpr int kKeepAliveIdleSeconds = 10;
    static constexpr int kKeepAliveIntervalSeconds = 5;
    static constexpr int kKeepAliveProbes = 3;

    enum class WaitResult { Timeout, Readable, NotOpen };
    enum class ConnectState { Idle, InProgress, Connected, Failed };

    TcpSocket() = default;
    ~TcpSocket() { close(); }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A new non-blocking IPv4 stream socket bound to any local port; closes
    // an open one first. False (error kept) when it cannot be made or bound.
    bool create();
    // Starts a non-blocking connect and returns at once. The host is a dotted
    // address or a name to look up; a failed look-up sets kInvalidArgument
    // and starts nothing. Returns 0 when a connect was started, else -1 (the
    // connect state is then Failed).
    int connect(std::u16string_view host, uint16_t port);
    // While a connect is in progress, waits at most `timeoutMs` for it to
    // complete; returns the connect state. A connect that completes with an
    // error writes "Connect Error" to the debug output and keeps the error.
    ConnectState waitConnected(int timeoutMs);
    ConnectState connectState() const { return connectState_.load(); }
    // Sends all bytes, waiting up to `waitMs` for room; never raises
    // SIGPIPE. Returns the length when every byte went, else -1 with the
    // error kept. When only part went the byte stream is cut: streamCut()
    // stays true until the socket is created again.
    int send(const uint8_t* data, size_t length, int waitMs = kSendWaitMs);
    bool streamCut() const { return streamCut_.load(); }
    // Bytes received; 0 when the peer closed; -1 and the error otherwise
    // (a reset connection reports ECONNRESET here, also when a send met the
    // reset first and took the socket's error with it).
    int receive(uint8_t* buffer, size_t capacity);
    // The FIONREAD count, or -1 when the query fails (socket closed).
    int bytesWaiting();
    // Waits at most `timeoutMs` until a receive would not block: bytes, the
    // peer's close or an error, which the receive then reports. A closed
    // socket waits out the time instead of returning at once.
    WaitResult waitReadable(int timeoutMs);
    // Ends both directions without giving up the descriptor: a thread
    // waiting on the socket wakes and finds the end of the stream.
    void shutdown();
    // Closes the socket; nothing happens when it is already closed.
    void close();

    bool isOpen() const { return fd_.load() >= 0; }
    int lastError() const { return error_.load(); }
    int descriptor() const { return fd_.load(); }

private:
    std::atomic<int> fd_{-1};
    std::atomic<int> error_{0};
    std::atomic<ConnectState> connectState_{ConnectState::Idle};
    std::atomic<bool> streamCut_{false};
    std::atomic<bool> resetBySend_{false};
};

}  // namespace orvix
