#include "tests/tools/sim_session.h"

#include <gtest/gtest.h>

#include "link/link_status.h"

extern "C" {
#include <libavutil/log.h>
}

namespace orvix::test {

sim::SimOptions simOptions(uint32_t modelCode) {
    sim::SimOptions options;
    options.modelCode = modelCode;
    options.echoIntervalSeconds = 0;
    return options;
}

SimSession::SimSession(const sim::SimOptions& options, const ClientSettings& settings) : simulator(options) {
    av_log_set_level(AV_LOG_QUIET);
    simulator.setNoticeSink([this](const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        notices_.push_back(text);
    });
    std::string error;
    EXPECT_TRUE(simulator.start(&error)) << error;
    client = std::make_unique<SimTestClient>(simulator.port(), settings);
}

SimSession::~SimSession() {
    client.reset();
    simulator.stop();
}

bool SimSession::bringUp() {
    client->connect();
    return client->waitStatus(kStatusDataSendOk);
}

std::vector<std::string> SimSession::notices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notices_;
}

std::vector<Picture> SimSession::pictures(int channel, size_t first) {
    PacketDecoder decoder(model());
    const std::vector<PacketBytes> packets = client->packets();
    std::vector<Picture> out;
    for (size_t i = 0; i < packets.size(); ++i) {
        std::optional<Picture> picture = decoder.decode(packets[i], channel);
        if (picture && i >= first) out.push_back(std::move(*picture));
    }
    return out;
}

}  // namespace orvix::test
