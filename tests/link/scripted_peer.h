// A recorder or DDNS server played by the test: it listens on loopback,
// accepts the link's connection, decodes the commands the link sends and
// writes scripted bytes back, whole or in chosen chunk sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/wire_format.h"
#include "tests/link/stream_builders.h"
#include "tests/support/loopback_server.h"

namespace orvix::test {

struct PeerCommand {
    FramingKind framing = FramingKind::Wide;
    uint32_t code = 0;
    Bytes payload;
};

class ScriptedPeer {
public:
    ScriptedPeer() = default;
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return listener_.port(); }
    bool accept(int timeoutMs = 10000);
    bool connected() const { return fd_ >= 0; }

    // The next command the link sent; nullopt when none arrives in time.
    std::optional<PeerCommand> readCommand(int timeoutMs = 10000);
    // The next command, which must have this code (checked by the caller).
    uint32_t nextCode(int timeoutMs = 10000);
    // True when no bytes at all arrive within `quietMs`.
    bool staysQuiet(int quietMs = 300);

    bool send(const Bytes& bytes);
    // Writes in pieces of `chunk` bytes, each a separate send.
    bool sendChunked(const Bytes& bytes, size_t chunk);
    // Reads and drops up to `count` bytes; how many there were.
    size_t drain(size_t count, int timeoutMs = 200);
    void close();
    // Aborts the connection: the link receives a reset, not an end of stream.
    void reset();

private:
    bool fill(int timeoutMs);

    LoopbackListener listener_;
    int fd_ = -1;
    Bytes pending_;
};

}  // namespace orvix::test
