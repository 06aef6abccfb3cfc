#include "tests/link/scripted_peer.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>

namespace orvix::test {
namespace {

uint32_t registerAt(const Bytes& b, size_t i) {
    return (uint32_t{b[i]} << 24) | (uint32_t{b[i + 1]} << 16) | (uint32_t{b[i + 2]} << 8) | b[i + 3];
}

}  // namespace

ScriptedPeer::~ScriptedPeer() { close(); }

bool ScriptedPeer::accept(int timeoutMs) {
    close();
    fd_ = listener_.accept(timeoutMs);
    pending_.clear();
    return fd_ >= 0;
}

bool ScriptedPeer::fill(int timeoutMs) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    uint8_t buffer[8192];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending_.insert(pending_.end(), buffer, buffer + n);
    return true;
}

std::optional<PeerCommand> ScriptedPeer::readCommand(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // Look for a start marker and the first end marker after it.
        for (size_t s = 0; s + 4 <= pending_.size(); ++s) {
            const uint32_t start = registerAt(pending_, s);
            if (start != kWideStartMarker && start != kPlainStartMarker) continue;
            for (size_t e = s + 8; e + 4 <= pending_.size(); ++e) {
                const uint32_t end = registerAt(pending_, e);
                if (end != kWideEndMarker && end != kPlainEndMarker) continue;
                PeerCommand command;
                command.framing = start == kWideStartMarker ? FramingKind::Wide : FramingKind::Plain;
                const size_t length = e + 4 - s;
                command.payload.resize(length);
                DecodedCommand decoded;
                if (decodeCommand(pending_.data() + s, length, command.framing, command.payload.data(),
                                  command.payload.size(), decoded)) {
                    command.code = decoded.code;
                    command.payload.resize(decoded.payloadLength);
                }
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(e + 4));
                return command;
            }
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !fill(static_cast<int>(left.count()))) return std::nullopt;
    }
}

uint32_t ScriptedPeer::nextCode(int timeoutMs) {
    auto command = readCommand(timeoutMs);
    return command ? command->code : 0xFFFFFFFFu;
}

bool ScriptedPeer::staysQuiet(int quietMs) {
    if (!pending_.empty()) return false;
    return !fill(quietMs);
}

bool ScriptedPeer::send(const Bytes& bytes) { return fd_ >= 0 && writeAll(fd_, bytes); }

bool ScriptedPeer::sendChunked(const Bytes& bytes, size_t chunk) {
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        if (fd_ < 0 || !writeAll(fd_, bytes.data() + at, n)) return false;
    }
    return true;
}

size_t ScriptedPeer::drain(size_t count, int timeoutMs) {
    size_t dropped = std::min(count, pending_.size());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(dropped));
    while (dropped < count && fill(timeoutMs)) {
        const size_t take = std::min(count - dropped, pending_.size());
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
        dropped += take;
    }
    return dropped;
}

void ScriptedPeer::reset() {
    resetFd(fd_);
    fd_ = -1;
    pending_.clear();
}

void ScriptedPeer::close() {
    closeFd(fd_);
    fd_ = -1;
}

}  // namespace orvix::test
