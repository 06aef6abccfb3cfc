// The simulators' side of TCP: an IPv4 listening socket, accepted clients
// made non-blocking, and writes and reads that give up when asked to stop.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvix {

class ListenSocket {
public:
    ListenSocket() = default;
    ~ListenSocket() { close(); }
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    // Listens on the dotted IPv4 `address` and `port` (0 chooses a free
    // port). `receiveBuffer` > 0 shrinks the accepted sockets' receive
    // buffer. False, with the reason in `error`, when it cannot.
    bool open(const std::string& address, uint16_t port, int receiveBuffer, std::string* error);
    // An accepted client (non-blocking, no Nagle delay), or -1 when none
    // arrives within `timeoutMs`.
    int accept(int timeoutMs);
    void close();

    uint16_t port() const { return port_; }
    const std::string& address() const { return address_; }
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    std::string address_;
};

enum class IoResult { Done, Closed, Stopped };

// Writes all bytes to a non-blocking socket, waiting for room in steps of
// 100 ms; Stopped when `stop` became true meanwhile, Closed when the peer
// is gone.
IoResult writeAll(int fd, const uint8_t* data, size_t length, const std::atomic<bool>& stop);

// Waits up to `timeoutMs` for bytes and reads what is there (at most
// `capacity`). Returns the count, 0 when nothing arrived in time, -1 when
// the peer closed or the socket failed.
long readSome(int fd, uint8_t* buffer, size_t capacity, int timeoutMs);

void closeSocket(int fd);

}  // namespace orvix
