// A recorder simulator in-process with a test client connected to it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/tools/sim_test_client.h"
#include "tools/recorder_sim/recorder_simulator.h"

namespace orvix::test {

// Defaults for tests: no echo unless asked for.
sim::SimOptions simOptions(uint32_t modelCode = 11);

class SimSession {
public:
    explicit SimSession(const sim::SimOptions& options, const ClientSettings& settings = {});
    ~SimSession();

    // Connects and waits for data to flow (status 9).
    bool bringUp();
    int32_t model() const { return simulator.profile().modelIndex; }
    sim::CommandLog& log() { return simulator.log(); }
    std::vector<std::string> notices() const;

    // Waits until `count` more packets than `from` have arrived.
    bool waitMore(size_t from, size_t count) { return client->waitPackets(from + count); }
    // The pictures of `channel` decoded from all packets, keeping those from
    // packet index `first` on.
    std::vector<Picture> pictures(int channel, size_t first = 0);

    sim::RecorderSimulator simulator;
    std::unique_ptr<SimTestClient> client;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> notices_;
};

}  // namespace orvix::test
