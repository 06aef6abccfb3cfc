// Where a server of the bridge listens: "ADDR:PORT" with a dotted IPv4
// address or a bracketed IPv6 one ("0.0.0.0:8554", "[::]:8554"), and the
// listening socket made from it, with a reason in words when it cannot be.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvix::bridge {

struct ListenAddress {
    std::string host;  // without brackets
    int port = 0;      // 0: a free port
    bool ipv6 = false;

    // "127.0.0.1:8554", "[::]:8554".
    std::string text() const;
    // Only this machine reaches it.
    bool loopback() const;
};

// nullopt for anything but an IPv4 or bracketed IPv6 address and a port
// 0-65535.
std::optional<ListenAddress> parseListenAddress(const std::string& text);

// The peer of an accepted connection: its address (an IPv4-mapped IPv6
// address as plain IPv4) and port.
struct Peer {
    std::string ip;
    int port = 0;
    bool ipv6 = false;

    // "192.0.2.7:50412", "[2001:db8::7]:50412".
    std::string text() const;
};

// The peer of the connected socket `fd`.
Peer peerOf(int fd);

// A non-blocking listening socket with a backlog of `backlog`, or -1 with
// "cannot listen on ADDR: REASON" in `error`. An IPv6 socket takes IPv4
// clients too unless `ipv6Only`.
int openListener(const ListenAddress& address, int backlog, bool ipv6Only, std::string& error);
// The port `fd` is bound to.
int boundPort(int fd);

}  // namespace orvix::bridge
