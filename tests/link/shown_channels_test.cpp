// The video filter for a set of shown channels: membership, and the resync
// rule kept per channel (joining the set, a silent channel, a new stream).
#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "link/recorder_connection.h"
#include "link/stream_parser.h"
#include "tests/link/stream_builders.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class SetHandler : public StreamHandler {
public:
    void onCommand(uint32_t, const uint8_t*, size_t) override {}
    void onVideo(const uint8_t*, size_t, PushDiscipline) override { ++ringPackets; }
    void onChannelVideo(int channel, bool key, const uint8_t* packet, size_t length) override {
        passed.emplace_back(channel, packet[32]);
        keys.push_back(key);
        last.assign(packet, packet + length);
    }
    std::vector<std::pair<int, int>> passed;  // channel, tag
    std::vector<bool> keys;
    Bytes last;
    int ringPackets = 0;
};

class ShownChannelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        connection.record = record;
        connection.shared = &shared;
        ASSERT_TRUE(connection.allocateBuffers());
        shared.threadState = kLinkRecorderExchange;
        shared.iframeOnly = 0;
        connection.resync = 0;
    }
    void TearDown() override { destroyRecord(record); }

    void send(int channel, bool key, uint8_t tag, VideoKind kind = VideoKind::F5) {
        const Bytes packet = videoPacket({.kind = kind, .channel = channel, .key = key, .tag = tag});
        parseRecorderStream(connection, packet.data(), packet.size(), handler);
    }
    std::vector<std::pair<int, int>> takePassed() { return std::exchange(handler.passed, {}); }

    LinkShared shared;
    RecorderConnection connection;
    DeviceRecord* record = nullptr;
    SetHandler handler;
};

using Passed = std::vector<std::pair<int, int>>;

}  // namespace

TEST_F(ShownChannelsTest, EachChannelWaitsForItsOwnKeyPicture) {
    connection.showChannels(0b101);  // channels 0 and 2
    send(0, false, 1);
    send(1, true, 2);  // not in the set
    send(2, false, 3);
    send(0, true, 4);
    send(0, false, 5);
    send(2, false, 6);  // channel 2 still waits
    send(2, true, 7);
    send(2, false, 8);
    EXPECT_EQ(takePassed(), (Passed{{0, 4}, {0, 5}, {2, 7}, {2, 8}}));
    EXPECT_EQ(handler.ringPackets, 0);

    // Channel 5 joins: it waits, the others go on without a key picture.
    connection.showChannels(0b100101);
    send(5, false, 9);
    send(0, false, 10);
    send(5, true, 11);
    send(2, false, 12);
    EXPECT_EQ(takePassed(), (Passed{{0, 10}, {5, 11}, {2, 12}}));

    // Channel 0 leaves and comes back: it waits again.
    connection.showChannels(0b100100);
    send(0, true, 13);
    connection.showChannels(0b100101);
    send(0, false, 14);
    send(0, true, 15);
    EXPECT_EQ(takePassed(), (Passed{{0, 15}}));
}

TEST_F(ShownChannelsTest, SilentChannelAndNewStreamWaitForKeyPictures) {
    connection.showChannels(0b11);
    send(0, true, 1);
    send(1, true, 2);
    takePassed();
    // Channel 1's packets stopped longer than the gap; channel 0's did not.
    connection.channelLastPacket[1] -= std::chrono::milliseconds(kChannelGapMs + 500);
    send(1, false, 3);
    send(0, false, 4);
    send(1, true, 5);
    EXPECT_EQ(takePassed(), (Passed{{0, 4}, {1, 5}}));

    resetStreamParser(connection);
    send(0, false, 6);
    send(1, false, 7);
    send(1, true, 8);
    EXPECT_EQ(takePassed(), (Passed{{1, 8}}));
}

TEST_F(ShownChannelsTest, OtherChecksStillApply) {
    connection.showChannels(0b11);
    send(0, true, 1);
    // I-frame-only keeps key pictures only.
    shared.iframeOnly = 1;
    send(0, false, 2);
    send(0, true, 3);
    shared.iframeOnly = 0;
    // Wrong length (extra bytes) and wrong mode are dropped.
    Bytes longer = videoPacket({.kind = VideoKind::F5, .channel = 0, .key = true, .tag = 4, .extraBytes = 4});
    parseRecorderStream(connection, longer.data(), longer.size(), handler);
    Bytes search = videoPacket({.kind = VideoKind::F5, .channel = 0, .key = true, .streamKind = 8, .tag = 5});
    parseRecorderStream(connection, search.data(), search.size(), handler);
    EXPECT_EQ(takePassed(), (Passed{{0, 1}, {0, 3}}));

    // BADJ goes on with its time in host order, as in the single view.
    send(1, true, 6, VideoKind::Badj);
    ASSERT_EQ(takePassed(), (Passed{{1, 6}}));
    EXPECT_EQ(readLe32(handler.last.data() + 4), 0x11223344u);
}

TEST_F(ShownChannelsTest, SingleViewAfterASetStartsAtAKeyPicture) {
    record->currentChannel = 0;
    connection.showChannels(0b11);
    send(0, true, 1);
    connection.showChannels(0);
    send(0, false, 2);
    EXPECT_EQ(handler.ringPackets, 0);
    send(0, true, 3);
    send(0, false, 4);
    EXPECT_EQ(handler.ringPackets, 2);
    // Back to the set: both channels join afresh.
    connection.showChannels(0b11);
    send(0, false, 5);
    send(0, true, 6);
    EXPECT_EQ(takePassed(), (Passed{{0, 1}, {0, 6}}));
}

TEST_F(ShownChannelsTest, TheRingChannelOfASetKeepsTheSingleViewsPath) {
    record->currentChannel = 1;
    send(1, true, 1);
    send(1, false, 2);
    EXPECT_EQ(handler.ringPackets, 2);
    // Channels 3 and 4 ride along: channel 1 goes on through the ring
    // without waiting for a key picture, the others through the hand-over.
    connection.ringChannel = 1;
    connection.showChannels(0b11010);
    send(1, false, 3);
    send(3, true, 4);
    send(4, true, 5);
    send(1, false, 6);
    send(2, true, 7);  // in neither
    EXPECT_EQ(handler.ringPackets, 4);
    EXPECT_EQ(takePassed(), (Passed{{3, 4}, {4, 5}}));
    // The ring's channel in the set too: both take it, from its key picture.
    connection.showChannels(0b11010 | 0b10);
    send(1, false, 10);
    send(1, true, 11);
    EXPECT_EQ(handler.ringPackets, 6);
    EXPECT_EQ(takePassed(), (Passed{{1, 11}}));
    // Back to the single view alone: the ring goes on, nothing is handed over.
    connection.ringChannel = -1;
    connection.showChannels(0);
    send(1, false, 8);
    send(3, true, 9);
    EXPECT_EQ(handler.ringPackets, 7);
    EXPECT_TRUE(takePassed().empty());
}
