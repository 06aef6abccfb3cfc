#include "bridge/listen_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frontend/recorder_options.h"

namespace orvix::bridge {
namespace {

std::string withPort(const std::string& host, bool ipv6, int port) {
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace

std::string ListenAddress::text() const { return withPort(host, ipv6, port); }

bool ListenAddress::loopback() const {
    if (ipv6) return host == "::1";
    return host.rfind("127.", 0) == 0;
}

std::string Peer::text() const { return withPort(ip, ipv6, port); }

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto port = parseNumber(std::string_view(text).substr(colon + 1), 0, 65535);
    if (!port) return std::nullopt;
    ListenAddress address;
    address.port = static_cast<int>(*port);
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        in6_addr parsed{};
        if (inet_pton(AF_INET6, host.c_str(), &parsed) != 1) return std::nullopt;
        address.ipv6 = true;
    } else {
        in_addr parsed{};
        if (inet_pton(AF_INET, host.c_str(), &parsed) != 1) return std::nullopt;
    }
    address.host = host;
    return address;
}

Peer peerOf(int fd) {
    Peer peer;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return peer;
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        peer.port = ntohs(in->sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        peer.port = ntohs(in6->sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            peer.ipv6 = true;
        }
    }
    peer.ip = text;
    return peer;
}

int openListener(const ListenAddress& address, int backlog, bool ipv6Only, std::string& error) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(address.port));
        inet_pton(AF_INET6, address.host.c_str(), &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<uint16_t>(address.port));
        inet_pton(AF_INET, address.host.c_str(), &in->sin_addr);
        length = sizeof *in;
    }
    const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    auto fail = [&] {
        error = "cannot listen on " + address.text() + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return -1;
    };
    if (fd < 0) return fail();
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (address.ipv6) {
        const int only = ipv6Only ? 1 : 0;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || listen(fd, backlog) != 0) return fail();
    return fd;
}

int boundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
    if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

}  // namespace orvix::bridge
