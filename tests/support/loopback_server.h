// A listening socket on 127.0.0.1 for tests that need a real peer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvix::test {

class LoopbackListener {
public:
    LoopbackListener();  // listens on a free port
    ~LoopbackListener();
    uint16_t port() const { return port_; }
    // Accepts one connection; -1 when none arrives within `timeoutMs`.
    int accept(int timeoutMs = 5000);

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A listening socket whose accept queue is full: a connect to it gets no
// answer (its SYN is dropped), as when a recorder's address leads nowhere.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    int filler_ = -1;
    uint16_t port_ = 0;
};

// A blocking client socket connected to 127.0.0.1:`port`; -1 when refused.
int connectLoopback(uint16_t port);
// Reads exactly `count` bytes; fewer when the peer closes or time runs out.
std::vector<uint8_t> readExactly(int fd, size_t count, int timeoutMs = 5000);
// Reads whatever arrives until `quietMs` pass without data.
std::vector<uint8_t> readUntilQuiet(int fd, int quietMs = 200);
bool writeAll(int fd, const uint8_t* data, size_t length);
inline bool writeAll(int fd, const std::vector<uint8_t>& bytes) { return writeAll(fd, bytes.data(), bytes.size()); }
void closeFd(int fd);
// Closes with a reset (RST) instead of the end of the stream.
void resetFd(int fd);

}  // namespace orvix::test
