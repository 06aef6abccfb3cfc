#include "frontend/listen_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvix {

bool ListenSocket::open(const std::string& address, uint16_t port, int receiveBuffer, std::string* error) {
    close();
    auto failWith = [&](const std::string& what) {
        if (error) *error = what + (errno ? std::string(": ") + std::strerror(errno) : std::string());
        close();
        return false;
    };
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(port);
    errno = 0;
    if (::inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1)
        return failWith("not a dotted IPv4 address: " + address);
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return failWith("cannot create a socket");
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Accepted sockets inherit the buffer size from the listening socket.
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) != 0)
        return failWith("cannot bind " + address + ":" + std::to_string(port));
    if (::listen(fd_, 8) != 0) return failWith("cannot listen");
    socklen_t length = sizeof socketAddress;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&socketAddress), &length);
    port_ = ntohs(socketAddress.sin_port);
    address_ = address;
    return true;
}

int ListenSocket::accept(int timeoutMs) {
    if (fd_ < 0) return -1;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return -1;
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) return -1;
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return client;
}

void ListenSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

IoResult writeAll(int fd, const uint8_t* data, size_t length, const std::atomic<bool>& stop) {
    size_t sent = 0;
    while (sent < length) {
        if (stop.load()) return IoResult::Stopped;
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            if (p.revents & (POLLERR | POLLHUP)) return IoResult::Closed;
            continue;
        }
        return IoResult::Closed;
    }
    return IoResult::Done;
}

long readSome(int fd, uint8_t* buffer, size_t capacity, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready <= 0) return 0;
    const ssize_t n = ::recv(fd, buffer, capacity, 0);
    if (n > 0) return n;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    return -1;
}

void closeSocket(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace orvix
