#include "bridge/loopback_pair.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bridge/listen_address.h"

namespace orvix::bridge {
namespace {

constexpr int kAttempts = 8;
constexpr int kAcceptWaitMs = 1000;

// The local address `fd` is bound to, as bytes to compare.
std::string localName(int fd, bool peer) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const int got = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length)
                         : getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    return got == 0 ? std::string(reinterpret_cast<const char*>(&storage), length) : std::string();
}

}  // namespace

LoopbackPairs::~LoopbackPairs() {
    if (listener4_ >= 0) close(listener4_);
    if (listener6_ >= 0) close(listener6_);
}

bool LoopbackPairs::open(std::string& error) {
    listener4_ = openListener(*parseListenAddress("127.0.0.1:0"), 64, false, error);
    std::string ignored;
    listener6_ = openListener(*parseListenAddress("[::1]:0"), 64, true, ignored);
    return listener4_ >= 0;
}

bool LoopbackPairs::make(bool ipv6, int& first, int& second) const {
    const int listener = ipv6 && listener6_ >= 0 ? listener6_ : listener4_;
    if (listener < 0) return false;
    sockaddr_storage target{};
    socklen_t length = sizeof target;
    if (getsockname(listener, reinterpret_cast<sockaddr*>(&target), &length) != 0) return false;
    const int ours = socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ours < 0) return false;
    if (connect(ours, reinterpret_cast<sockaddr*>(&target), length) != 0) {
        close(ours);
        return false;
    }
    // Another local program may have connected too: only our own connection
    // is taken, the others are closed.
    const std::string wanted = localName(ours, false);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        pollfd ready{listener, POLLIN, 0};
        if (poll(&ready, 1, kAcceptWaitMs) <= 0) break;
        const int theirs = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (theirs < 0) continue;
        if (localName(theirs, true) != wanted) {
            close(theirs);
            continue;
        }
        int one = 1;
        setsockopt(ours, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        setsockopt(theirs, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        first = ours;
        second = theirs;
        return true;
    }
    close(ours);
    return false;
}

}  // namespace orvix::bridge
