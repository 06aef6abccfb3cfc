// Channel lists as users write them, and the data request for a set of
// channels: the same packet sequence as for one channel, with the set's
// channel bytes, checked on a real loopback connection.
#include <gtest/gtest.h>

#include <vector>

#include "core/channel_set.h"
#include "link/command_codes.h"
#include "link/command_sender.h"
#include "link/recorder_connection.h"
#include "tests/support/loopback_server.h"

using namespace orvix;
using namespace orvix::test;

TEST(ChannelList, AcceptedFormsKeepTheGivenOrder) {
    EXPECT_EQ(parseChannelList("3")->text(), "3");
    EXPECT_EQ(parseChannelList("1-4")->text(), "1,2,3,4");
    EXPECT_EQ(parseChannelList("1,3,5")->text(), "1,3,5");
    EXPECT_EQ(parseChannelList("5,1,3")->text(), "5,1,3");
    EXPECT_EQ(parseChannelList("1-16")->size(), 16);
    EXPECT_EQ(parseChannelList("9-10,2")->text(), "9,10,2");
    const ChannelSet set = *parseChannelList("2,4");
    EXPECT_EQ(set.mask(), 0x000Au);
    EXPECT_EQ(set.first(), 1);
    EXPECT_EQ(set.indexOf(3), 1);
    EXPECT_EQ(set.indexOf(0), -1);
}

TEST(ChannelList, BadListsGiveNothing) {
    for (const char* bad : {"", "0", "17", "1-17", "4-1", "1,,2", "1,", ",1", "1-", "-3", "a", "1 2", "1,1",
                            "1-3,2", "001", "3.", "1-4-5", "+1"}) {
        EXPECT_FALSE(parseChannelList(bad).has_value()) << bad;
    }
    // Only the recorder's cameras when it has fewer.
    EXPECT_FALSE(parseChannelList("1-5", 4).has_value());
    EXPECT_TRUE(parseChannelList("1-4", 4).has_value());
}

TEST(ChannelList, SetOperations) {
    ChannelSet set = ChannelSet::single(15);
    EXPECT_EQ(set.mask(), 0x8000u);
    EXPECT_FALSE(set.add(15));
    EXPECT_FALSE(set.add(16));
    EXPECT_FALSE(set.add(-1));
    EXPECT_TRUE(ChannelSet::single(16).empty());
    EXPECT_TRUE(set.add(0));
    EXPECT_EQ(set.text(), "16,1");
    EXPECT_FALSE(set == *parseChannelList("1,16"));
    EXPECT_TRUE(set == *parseChannelList("16,1"));
}

namespace {

class SetRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        connection.record = record;
        connection.shared = &shared;
        ASSERT_TRUE(connection.allocateBuffers());
        ASSERT_TRUE(connection.socket.create());
        sendCommand(connection, COMMAND_CONNECT_REQ, reinterpret_cast<uintptr_t>(u"127.0.0.1"), listener.port());
        peer = listener.accept();
        ASSERT_GE(peer, 0);
    }
    void TearDown() override {
        closeFd(peer);
        connection.socket.close();
        destroyRecord(record);
    }
    std::vector<uint8_t> request(int argument, uint32_t shownMask, int origin) {
        connection.shownChannels.store(shownMask);
        sendCommand(connection, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(argument), origin);
        return readUntilQuiet(peer, 40);
    }

    LoopbackListener listener;
    LinkShared shared;
    RecorderConnection connection;
    DeviceRecord* record = nullptr;
    int peer = -1;
};

}  // namespace

// For every model class, origin, I-only option and mode: a set of one sends
// exactly the bytes of the single-channel request, and a larger set sends
// the same packets with the set's bytes where the single request marks its
// channel.
TEST_F(SetRequestTest, SetRequestsFollowTheSingleChannelSequence) {
    const uint16_t set = 0x0C15;  // channels 0, 2, 4, 10, 11
    for (int32_t model : {0, 10, 30, 47}) {
        for (int origin : {0, 1}) {
            for (int iframeOnly : {0, 1}) {
                for (int mode : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << "model " << model << " origin " << origin << " iframe "
                                                    << iframeOnly << " mode " << mode);
                    record->modelIndex = model;
                    shared.iframeOnly = iframeOnly;
                    connection.mode = mode;
                    const auto single = request(4, 0, origin);
                    EXPECT_EQ(request(kShownChannels, 1u << 4, origin), single);

                    // The single request with the set's channel bytes in
                    // each data request packet that marks its channel.
                    auto expected = single;
                    size_t offset = 0;
                    while (offset + 8 <= single.size() && single[offset + 4] == COMMAND_DATA_SEND_REQ) {
                        // Wide packets carry each payload byte followed by FF.
                        const size_t stride = single[offset + 3] == 0xC2 ? 2 : 1;
                        const auto channelByte = [&](int c) { return offset + 8 + stride * (8 + static_cast<size_t>(c)); };
                        if (single[channelByte(4)] == 1) {
                            for (int c = 0; c < 16; ++c) expected[channelByte(c)] = (set >> c) & 1u;
                        }
                        offset += 12 + stride * 24;
                    }
                    EXPECT_EQ(request(kShownChannels, set, origin), expected);
                }
            }
        }
    }
}

TEST_F(SetRequestTest, ShownArgumentIsTheCurrentChannelInTheSingleView) {
    record->currentChannel = 6;
    connection.shownChannels = 0;
    EXPECT_EQ(shownChannelArgument(connection), 6);
    connection.shownChannels = 0x3;
    EXPECT_EQ(shownChannelArgument(connection), kShownChannels);
    // An empty shown set asks for no channel at all.
    record->modelIndex = 0;
    shared.iframeOnly = 0;
    const auto none = request(kNoChannel, 0, 0);
    connection.shownChannels = 0;
    sendCommand(connection, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(kShownChannels), 0);
    EXPECT_EQ(readUntilQuiet(peer, 40), none);
}
