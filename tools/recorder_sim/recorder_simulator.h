// The simulated recorder: listens on a TCP port and serves one client at a
// time, accepting the next once the previous one has gone. Used by the
// orvix-recorder-sim program and, in-process, by tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "frontend/listen_socket.h"
#include "tools/recorder_sim/sim_options.h"
#include "tools/sim_common/command_log.h"

namespace orvix::sim {

class RecorderSimulator {
public:
    explicit RecorderSimulator(SimOptions options);
    ~RecorderSimulator();  // stops
    RecorderSimulator(const RecorderSimulator&) = delete;
    RecorderSimulator& operator=(const RecorderSimulator&) = delete;

    // Checks the options, opens the log file, listens and starts serving.
    // False, with the reason, when any of that fails.
    bool start(std::string* error);
    // Closes the client's connection and the listening socket; returns when
    // the serving thread has ended.
    void stop();

    // Where it listens (the same after an outage). Set by start(); the
    // serving thread reopens the listener, so these are copies.
    uint16_t port() const { return boundPort_; }
    const std::string& address() const { return boundAddress_; }
    // "listening on ADDRESS:PORT"
    std::string readyLine() const;

    const SimOptions& options() const { return options_; }
    const SimProfile& profile() const { return profile_; }
    // Every command received, one line each (also the --log file).
    CommandLog& log() { return log_; }
    // Clients accepted so far.
    int sessions() const { return sessions_.load(); }
    // Outages so far (the down fault): counted when each begins.
    int outages() const { return outages_.load(); }
    // True while the down fault keeps the recorder away.
    bool down() const { return down_.load(); }
    // When the recorder last listened again after an outage.
    std::chrono::steady_clock::time_point lastReturn() const {
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(returnedAt_.load()));
    }

    // Remarks that are not commands (default: standard error).
    void setNoticeSink(std::function<void(const std::string&)> sink);

private:
    void serve();
    // The down fault's clock: up, down, up ... until stopped.
    void runOutages();
    // Waits `milliseconds` or until stopped; false when stopped.
    bool pause(int milliseconds);

    SimOptions options_;
    SimProfile profile_;
    ListenSocket listener_;
    CommandLog log_;
    std::atomic<bool> stop_{false};
    // What a client's session watches: the stop, or an outage beginning.
    std::atomic<bool> sessionStop_{false};
    std::atomic<bool> down_{false};
    std::atomic<int> sessions_{0};
    std::atomic<int> outages_{0};
    std::atomic<std::chrono::steady_clock::rep> returnedAt_{0};
    uint16_t boundPort_ = 0;
    std::string boundAddress_;
    std::thread outageThread_;
    std::mutex noticeMutex_;
    std::function<void(const std::string&)> notice_;
    std::thread thread_;
};

}  // namespace orvix::sim
