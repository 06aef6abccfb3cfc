// The bridge's face to the network: it listens (IPv4 and IPv6, a backlog
// for bursts), takes each client connection and passes what it says on to
// the RTSP server over a connection of its own, one request at a time, and
// the server's answers and streams back. On the way it refuses what would
// cost the bridge memory or let a password be guessed: requests whose header
// block or body is over the limits (answered before anything more is read),
// connections beyond the limit, clients that take nothing for a long time or
// never finish a request, and addresses whose logins keep failing (their
// attempts wait, then they are refused for a while; see LoginThrottle).
//
// Threads: start() and stop() from the owner; the connections, the throttle
// and the backend callback run on the front's own thread; counters() from
// any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bridge/listen_address.h"
#include "bridge/login_throttle.h"
#include "bridge/rtsp_framing.h"

namespace orvix::bridge {

struct FrontSettings {
    std::vector<ListenAddress> listen;
    int backlog = 256;
    int maxConnections = 100;
    MessageLimits limits;
    ThrottlePolicy throttle;
    std::chrono::milliseconds stalledClient{std::chrono::seconds(60)};   // took nothing while data waited
    std::chrono::milliseconds partialRequest{std::chrono::seconds(20)};  // a request that never became whole
    std::chrono::milliseconds idleConnection{std::chrono::seconds(300)};  // nothing either way
    size_t clientBufferBytes = 2u << 20;  // waiting for a client before the server is no longer read
};

struct FrontCounters {
    uint64_t open = 0;          // client connections now
    uint64_t accepted = 0;
    uint64_t turnedAway = 0;    // over the limit, or from a refused address
    uint64_t loginFailures = 0;
    uint64_t refusedRequests = 0;  // too large, malformed, or from a refused address
};

class RtspFront {
public:
    // A connection to the RTSP server for a client at `peer` (non-blocking
    // or not), or -1.
    using Backend = std::function<int(const Peer& peer)>;
    using Log = std::function<void(const std::string& line)>;

    RtspFront(FrontSettings settings, Backend backend, Log log);
    ~RtspFront();
    RtspFront(const RtspFront&) = delete;
    RtspFront& operator=(const RtspFront&) = delete;

    // Listens on every address; false with the reason when one cannot be.
    bool start(std::string& error);
    // Closes every connection and stops listening.
    void stop();
    // The bound port of each listen address, in order.
    std::vector<int> ports() const { return ports_; }
    FrontCounters counters() const;

private:
    struct Connection;
    void run();
    void acceptFrom(int listener);
    void handOn(Connection& connection);
    void forward(Connection& connection, size_t size);
    void refuse(Connection& connection, int code, const char* reason, const std::string& cseq,
                const std::string& why);
    void readClient(Connection& connection);
    void readBackend(Connection& connection);
    void checkTimes(Connection& connection);
    int pollTimeoutMs() const;
    // Connections turned away are told at most once a minute.
    void turnAway(const std::string& why);
    void reportTurnedAway();

    const FrontSettings settings_;
    Backend backend_;
    Log log_;
    LoginThrottle throttle_;
    std::vector<int> listeners_;
    std::vector<int> ports_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<std::unique_ptr<Connection>> connections_;  // front thread only
    std::chrono::steady_clock::time_point turnedAwayReported_{};
    uint64_t turnedAwayUntold_ = 0;
    std::string turnedAwayWhy_;

    std::atomic<uint64_t> open_{0}, accepted_{0}, turnedAway_{0}, loginFailures_{0}, refusedRequests_{0};
};

}  // namespace orvix::bridge
