// A session showing several channels of the in-process recorder simulator:
// changing the set sends one request each time, and a channel whose packets
// stop holds up none of the others.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "cli/cli_client.h"
#include "link/link_status.h"
#include "session/packet_sink.h"
#include "session/video_session.h"
#include "tools/recorder_sim/recorder_simulator.h"

using namespace orvix;

namespace {

class CountingEvents : public ChannelEvents {
public:
    void picture(int channel, const ChannelPicture&) override { ++pictures[static_cast<size_t>(channel)]; }
    std::array<std::atomic<int>, 16> pictures{};
};

// The single view's packets (the session is set up for packets).
class CountingSink : public PacketSink {
public:
    void packet(const uint8_t*, size_t) override { ++packets; }
    std::atomic<int> packets{0};
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class GridSessionTest : public ::testing::Test {
protected:
    void start(sim::SimOptions options) {
        simulator = std::make_unique<sim::RecorderSimulator>(std::move(options));
        simulator->setNoticeSink([](const std::string&) {});
        std::string error;
        ASSERT_TRUE(simulator->start(&error)) << error;
        cli::CliOptions client;
        client.host = "127.0.0.1";
        client.port = simulator->port();
        client.user = "admin";
        client.password = "1234";
        fillRecord(*record, client);
    }
    bool setUpAndStart() {
        session.shared().iframeOnly.store(0);
        if (session.setUp(record, sink) != VideoSession::SetUpResult::Started) return false;
        session.startLink();
        return waitUntil([this] { return session.status() == kStatusDataSendOk; });
    }
    int pictures(int channel) const { return events.pictures[static_cast<size_t>(channel)].load(); }
    void TearDown() override {
        session.disconnect(nullptr);
        session.tearDown();
        if (simulator) simulator->stop();
        destroyRecord(record);
    }

    DeviceRecord* record = createRecord();
    CallingThread owner;
    SessionEvents quiet;
    CountingEvents events;
    CountingSink sink;
    VideoSession session{owner, quiet};
    std::unique_ptr<sim::RecorderSimulator> simulator;
};

}  // namespace

TEST_F(GridSessionTest, ChangingTheSetSendsOneRequestEachTime) {
    start({});
    session.setChannelEvents(&events);
    ASSERT_TRUE(session.setChannels(*parseChannelList("1-4")));
    ASSERT_TRUE(setUpAndStart());
    ASSERT_TRUE(waitUntil([this] { return pictures(0) >= 5 && pictures(1) >= 5 && pictures(2) >= 5 && pictures(3) >= 5; }));
    auto& log = simulator->log();
    EXPECT_EQ(log.count("DATA_SEND_REQ"), 1u);
    EXPECT_EQ(log.lines().back(), "DATA_SEND_REQ flag=0 channels=0,1,2,3");

    // 4 -> 1: the single view's path (its packets go to the sink).
    ASSERT_TRUE(session.setChannels(ChannelSet::single(2)));
    ASSERT_TRUE(log.waitFor("DATA_SEND_REQ flag=0 channels=2", 5000));
    EXPECT_EQ(record->currentChannel.load(), 2);
    const int before = sink.packets.load();
    ASSERT_TRUE(waitUntil([&] { return sink.packets.load() >= before + 10; }));
    EXPECT_EQ(log.count("DATA_SEND_REQ"), 2u);

    // 1 -> 4: every channel again.
    std::array<int, 4> counts{};
    for (int c = 0; c < 4; ++c) counts[static_cast<size_t>(c)] = pictures(c);
    ASSERT_TRUE(session.setChannels(*parseChannelList("1-4")));
    ASSERT_TRUE(waitUntil([&] {
        for (int c = 0; c < 4; ++c) {
            if (pictures(c) < counts[static_cast<size_t>(c)] + 5) return false;
        }
        return true;
    }));
    EXPECT_EQ(log.count("DATA_SEND_REQ"), 3u);
    EXPECT_EQ(log.lines().back(), "DATA_SEND_REQ flag=0 channels=0,1,2,3");
    // The I-frame-only toggle asks for the whole set again; choosing one
    // channel the old way leaves the set for that channel.
    session.shared().iframeOnly.store(1);
    session.setChannel(1, 1);
    ASSERT_TRUE(log.waitFor("DATA_SEND_REQ flag=1 channels=0,1,2,3", 5000));
    EXPECT_EQ(log.count("DATA_SEND_REQ"), 4u);
    session.shared().iframeOnly.store(0);
    session.setChannel(3, 0);
    ASSERT_TRUE(waitUntil([&] { return log.count("DATA_SEND_REQ") == 5u; }));
    EXPECT_EQ(log.lines().back(), "DATA_SEND_REQ flag=0 channels=3");
    EXPECT_EQ(session.channels().text(), "4");
    // An empty set or a set without a receiver is refused and sends nothing.
    EXPECT_FALSE(session.setChannels(ChannelSet{}));
    EXPECT_EQ(log.count("DATA_SEND_REQ"), 5u);
}

TEST_F(GridSessionTest, SilentChannelHoldsUpNoOther) {
    sim::SimOptions options;
    options.faults.silentChannel = 2;
    start(options);
    // The silence watch counts every shown channel's video: with one second
    // for it, three seconds of the others tell nothing.
    ReconnectPolicy policy;
    policy.enabled = true;
    policy.videoSilenceMs = 1000;
    session.setReconnect(policy);
    session.setChannelEvents(&events);
    ASSERT_TRUE(session.setChannels(*parseChannelList("1-4")));
    ASSERT_TRUE(setUpAndStart());
    // Three seconds of video: the others go on well past channel 2's second.
    ASSERT_TRUE(waitUntil([this] { return pictures(0) >= 75 && pictures(2) >= 75 && pictures(3) >= 75; }))
        << pictures(0) << " " << pictures(1) << " " << pictures(2) << " " << pictures(3);
    EXPECT_LE(pictures(1), 26);
    EXPECT_GE(pictures(1), 1);
    EXPECT_EQ(session.droppedPackets(0), 0u);
    EXPECT_EQ(session.infoLine().find("No video"), std::string::npos) << session.infoLine();
}

TEST(GridSessionSetUp, ASetOfSeveralNeedsAReceiver) {
    CallingThread owner;
    SessionEvents quiet;
    VideoSession session(owner, quiet);
    EXPECT_FALSE(session.setChannels(*parseChannelList("1-4")));
    EXPECT_TRUE(session.setChannels(ChannelSet::single(3)));
    EXPECT_EQ(session.channels().text(), "4");
}
