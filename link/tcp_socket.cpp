#include "link/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/debug_log.h"
#include "core/text_codec.h"
#include "link/host_lookup.h"

namespace orvix {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

bool TcpSocket::create() {
    close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_.store(errno);
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error_.store(errno);
        ::close(fd);
        return false;
    }
    // Commands are small and interactive: send them without delay.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A host that vanished is found even while the recorder has nothing to
    // send: probes after 10 s of quiet, every 5 s, given up after 3.
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleSeconds, sizeof kKeepAliveIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalSeconds, sizeof kKeepAliveIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
    connectState_.store(ConnectState::Idle);
    streamCut_.store(false);
    resetBySend_.store(false);
    error_.store(0);
    fd_.store(fd);
    return true;
}

int TcpSocket::connect(std::u16string_view host, uint16_t port) {
    const std::string narrow = toNarrow(host);
    auto address = parseDottedAddress(narrow);
    if (!address) address = lookupHost(narrow);
    if (!address) {
        error_.store(kInvalidArgument);
        connectState_.store(ConnectState::Failed);
        return -1;
    }
    const int fd = fd_.load();
    if (fd < 0) {
        error_.store(EBADF);
        connectState_.store(ConnectState::Failed);
        return -1;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = *address;
    remote.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) {
        connectState_.store(ConnectState::Connected);
        return 0;
    }
    if (errno == EINPROGRESS) {
        connectState_.store(ConnectState::InProgress);
        return 0;
    }
    error_.store(errno);
    connectState_.store(ConnectState::Failed);
    debugLog("Connect Error\r\n");
    return -1;
}

TcpSocket::ConnectState TcpSocket::waitConnected(int timeoutMs) {
    if (connectState_.load() != ConnectState::InProgress) return connectState_.load();
    const int fd = fd_.load();
    if (fd < 0) {
        error_.store(EBADF);
        connectState_.store(ConnectState::Failed);
        return ConnectState::Failed;
    }
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return ConnectState::InProgress;
    // The connect's outcome is read here only, while nothing else can be
    // pending on the socket; once connected, errors reach the receive.
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError == 0 && !(p.revents & POLLOUT)) soError = ENOTCONN;
    if (soError == 0) {
        connectState_.store(ConnectState::Connected);
        return ConnectState::Connected;
    }
    error_.store(soError);
    connectState_.store(ConnectState::Failed);
    debugLog("Connect Error\r\n");
    return ConnectState::Failed;
}

int TcpSocket::send(const uint8_t* data, size_t length, int waitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    size_t sent = 0;
    while (sent < length) {
        const int fd = fd_.load();
        if (fd < 0) {
            error_.store(EBADF);
            break;
        }
        ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int left = remainingMs(deadline);
            if (left == 0) {
                error_.store(kWouldBlock);
                break;
            }
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, left);
            continue;
        }
        error_.store(n < 0 ? errno : EPIPE);
        // The socket's pending error goes to whoever asks first; the receive
        // must still learn of the reset.
        if (n < 0 && errno == ECONNRESET) resetBySend_.store(true);
        break;
    }
    if (sent == length) return static_cast<int>(length);
    // The peer would read the front of a packet and take what follows for
    // its rest: nothing more can be sent on this stream.
    if (sent > 0) streamCut_.store(true);
    return -1;
}

int TcpSocket::receive(uint8_t* buffer, size_t capacity) {
    const int fd = fd_.load();
    if (fd < 0) {
        error_.store(EBADF);
        return -1;
    }
    for (;;) {
        ssize_t n = ::recv(fd, buffer, capacity, 0);
        if (n == 0 && resetBySend_.load()) {
            error_.store(ECONNRESET);
            return -1;
        }
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        error_.store(errno == EWOULDBLOCK ? kWouldBlock : errno);
        return -1;
    }
}

int TcpSocket::bytesWaiting() {
    const int fd = fd_.load();
    int count = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &count) != 0) return -1;
    return count;
}

TcpSocket::WaitResult TcpSocket::waitReadable(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = fd_.load();
    if (fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return WaitResult::NotOpen;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0) return WaitResult::Timeout;
    if (p.revents & POLLNVAL) {
        std::this_thread::sleep_for(std::chrono::milliseconds(remainingMs(deadline)));
        return WaitResult::NotOpen;
    }
    // Bytes, the end of the stream or an error (a reset): the receive tells
    // which. The socket's error is left for the receive to report.
    return WaitResult::Readable;
}

void TcpSocket::shutdown() {
    const int fd = fd_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void TcpSocket::close() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

}  // namespace orvix
