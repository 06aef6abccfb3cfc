// The simulated DDNS server: for each client, COMMAND_DDNS_READY, then for
// COMMAND_DDNS_INFO_REQ with a known id COMMAND_DDNS_INFO (address and
// port); an unknown id closes the connection. Replies are framed Wide, as
// the client reads every DDNS reply by the Wide rule.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "frontend/listen_socket.h"
#include "tools/ddns_sim/ddns_options.h"
#include "tools/sim_common/command_log.h"

namespace orvix::sim {

class DdnsSimulator {
public:
    explicit DdnsSimulator(DdnsOptions options);
    ~DdnsSimulator();
    DdnsSimulator(const DdnsSimulator&) = delete;
    DdnsSimulator& operator=(const DdnsSimulator&) = delete;

    bool start(std::string* error);
    void stop();

    uint16_t port() const { return listener_.port(); }
    std::string readyLine() const;
    // "DDNS_INFO_REQ id=G9TEST known=1" for each request.
    CommandLog& log() { return log_; }

private:
    void serve();
    // `connection` counts the clients from 1.
    void serveClient(int fd, int connection);
    // Keeps a silent connection open until the client leaves.
    void holdSilent(int fd);

    DdnsOptions options_;
    ListenSocket listener_;
    CommandLog log_;
    std::atomic<bool> stop_{false};
    int connections_ = 0;  // serving thread only
    std::thread thread_;
};

}  // namespace orvix::sim
