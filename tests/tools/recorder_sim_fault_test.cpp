// The simulator's fault options against the project's link: the client
// keeps streaming through torn writes, split markers, junk and odd filler
// bytes, and ends or waits as it should when the recorder closes, stops
// reading or stalls, or goes silent at a step of connecting. Also: one
// client after another.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "link/command_codes.h"
#include "link/command_sender.h"
#include "link/link_status.h"
#include "tests/support/loopback_server.h"
#include "tests/tools/sim_session.h"
#include "tools/recorder_sim/picture_painter.h"

namespace orvix::test {
namespace {

struct FaultCase {
    const char* name;
    uint32_t modelCode;
    std::function<void(sim::SimOptions&)> apply;
};

class SimFaultStreams : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimFaultStreams, EveryPacketStillArrivesWhole) {
    sim::SimOptions options = simOptions(GetParam().modelCode);
    options.seed = 7;
    GetParam().apply(options);
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(15));
    if (options.echoIntervalSeconds > 0) {
        EXPECT_TRUE(session.log().waitFor("ECHO_ACK"));
    }
    const auto packets = session.client->packets();
    for (const auto& packet : packets) {
        const auto info = readPacket(packet, session.model());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->channel, 0);
    }
    // No packet was lost or merged: every one decodes.
    PacketDecoder decoder(session.model());
    const auto pictures = decoder.decodeAll(packets, 0);
    EXPECT_EQ(pictures.size(), packets.size());
    for (const auto& picture : pictures) EXPECT_EQ(sim::nearestChannelColour(picture.background()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimFaultStreams,
    ::testing::Values(
        FaultCase{"RandomPiecesWide", 11, [](sim::SimOptions& o) { o.faults.randomPieces = true; }},
        FaultCase{"RandomPiecesRaw", 61, [](sim::SimOptions& o) { o.faults.randomPieces = true; }},
        FaultCase{"SplitMarkersF2", 11,
                  [](sim::SimOptions& o) {
                      o.faults.splitMarkers = true;
                      o.packetKind = sim::VideoPacketKind::F2;
                  }},
        FaultCase{"SplitMarkersNda", 51,
                  [](sim::SimOptions& o) {
                      o.faults.splitMarkers = true;
                      o.packetKind = sim::VideoPacketKind::Nda;
                  }},
        FaultCase{"GarbageBadj", 11,
                  [](sim::SimOptions& o) {
                      o.faults.garbage = true;
                      o.packetKind = sim::VideoPacketKind::Badj;
                  }},
        FaultCase{"GarbageRaw", 61, [](sim::SimOptions& o) { o.faults.garbage = true; }},
        FaultCase{"AllTogether", 21,
                  [](sim::SimOptions& o) {
                      o.faults.randomPieces = o.faults.splitMarkers = o.faults.garbage = o.faults.wideFiller = true;
                      o.echoIntervalSeconds = 1;
                  }},
        FaultCase{"WideFiller", 13,
                  [](sim::SimOptions& o) {
                      o.faults.wideFiller = true;
                      o.echoIntervalSeconds = 1;
                  }}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SimFaults, CloseMidPacketEndsTheStreamAndTheNextClientIsServed) {
    sim::SimOptions options = simOptions(11);
    options.faults.closeMidPacketAfter = 5;
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.log().waitFor("CLOSED mid-packet"));
    // The link notices the close and ends; the half packet is lost.
    ASSERT_TRUE(waitUntil([&] { return !session.client->window.ends().empty(); }));
    EXPECT_FALSE(session.client->connection.socket.isOpen());
    EXPECT_EQ(session.client->connection.end.get().cause, LinkEndCause::PeerClosed);
    EXPECT_EQ(session.client->packetCount(), 5u);
    EXPECT_EQ(session.client->status(), kStatusDisconnect);

    SimTestClient second(session.simulator.port());
    second.connect();
    EXPECT_TRUE(second.waitStatus(kStatusDataSendOk));
    EXPECT_TRUE(second.waitPackets(5));
    EXPECT_EQ(session.simulator.sessions(), 2);
}

TEST(SimFaults, StopReadingBlocksTheClientsSendsWhileVideoFlows) {
    sim::SimOptions options = simOptions(11);
    options.faults.stopReading = true;
    SimSession session(options);
    SimTestClient& client = *session.client;
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(client.waitPackets(3));
    int refused = 0;
    int sent = 0;
    client.onWindow([&] {
        // 44 bytes a command; the buffers fill within a few megabytes.
        for (; sent < 200000 && refused == 0; ++sent) {
            if (sendCommand(client.connection, COMMAND_PTZ_REQ, 0, 1) != 44) ++refused;
        }
    });
    EXPECT_EQ(refused, 1) << "after " << sent << " commands";
    EXPECT_EQ(session.log().count("PTZ"), 0u);
    if (client.connection.socket.streamCut()) {
        // The refused command went out in part: the link ends rather than
        // leave the recorder reading the rest of it as a new command.
        ASSERT_TRUE(waitUntil([&] { return !client.window.ends().empty(); }));
        EXPECT_EQ(client.connection.end.get().cause, LinkEndCause::SendFailed);
        EXPECT_EQ(client.status(), kStatusDisconnect);
    } else {
        // Nothing of it went: the link stays and video keeps flowing.
        const size_t count = client.packetCount();
        EXPECT_TRUE(session.waitMore(count, 5));
        EXPECT_FALSE(client.connection.end.ended());
    }
}

TEST(SimFaults, ResetAfterVideoAndCloseAfterLoginEndTheConnection) {
    sim::SimOptions options = simOptions(11);
    options.faults.resetAfter = 4;
    {
        SimSession session(options);
        ASSERT_TRUE(session.bringUp());
        ASSERT_TRUE(session.log().waitFor("RESET after 4 video packets"));
        ASSERT_TRUE(waitUntil([&] { return session.client->connection.end.ended(); }));
        EXPECT_EQ(session.client->connection.end.get().cause, LinkEndCause::Reset);
        EXPECT_LE(session.client->packetCount(), 4u);
    }
    options.faults.resetAfter = -1;
    options.faults.closeAfterLogin = true;
    SimSession session(options);
    session.client->connect();
    ASSERT_TRUE(waitUntil([&] { return session.client->connection.end.ended(); }));
    EXPECT_EQ(session.client->connection.end.get().cause, LinkEndCause::PeerClosed);
    EXPECT_TRUE(session.log().waitFor("CLOSED after login"));
    EXPECT_EQ(session.log().count("LOGIN account=admin ok=1"), 1u);
    EXPECT_EQ(session.client->packetCount(), 0u);
}

TEST(SimFaults, MuteHitsOnlyTheChosenConnection) {
    sim::SimOptions options = simOptions(11);
    options.faults.mute = sim::SimFaults::Mute::BeforeConnectOk;
    options.faults.muteConnection = 2;
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    session.client->disconnect();
    ASSERT_TRUE(session.log().waitFor("CLIENT closed"));
    // The second connection is accepted and told nothing; the third is
    // described again.
    const int second = connectLoopback(session.simulator.port());
    EXPECT_TRUE(readExactly(second, 1, 300).empty());
    EXPECT_TRUE(session.log().waitFor("MUTED before CONNECT_OK"));
    closeFd(second);
    const int third = connectLoopback(session.simulator.port());
    EXPECT_EQ(readExactly(third, 12).size(), 12u);
    closeFd(third);
    EXPECT_EQ(session.log().count("MUTED"), 1u);
}

TEST(SimFaults, StallPausesTheStreamThenItResumes) {
    sim::SimOptions options = simOptions(11);
    options.faults.stallSeconds = 2;
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(8));
    const auto packets = session.client->packets();
    bool gap = false;
    for (size_t i = 1; i < packets.size(); ++i) {
        const uint32_t previous = readPacket(packets[i - 1], session.model())->time;
        gap = gap || readPacket(packets[i], session.model())->time >= previous + 2;
    }
    EXPECT_TRUE(gap);
    EXPECT_EQ(session.client->status(), kStatusDataSendOk);
}

TEST(SimReconnect, ServesOneClientAfterAnother) {
    SimSession session(simOptions(51));
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(3));
    session.client->disconnect();
    EXPECT_TRUE(session.log().waitFor("CLIENT closed"));

    SimTestClient again(session.simulator.port(), {.channel = 1});
    again.connect();
    ASSERT_TRUE(again.waitStatus(kStatusDataSendOk));
    ASSERT_TRUE(again.waitPackets(3));
    EXPECT_EQ(session.simulator.sessions(), 2);
    EXPECT_EQ(session.log().count("LOGIN account=admin ok=1"), 2u);
    EXPECT_EQ(session.log().count("DATA_SEND_REQ flag=0 channels=1"), 1u);
}

}  // namespace
}  // namespace orvix::test
