// Commands sent through a real loopback connection, checked byte for byte at
// the receiving end.
#include <gtest/gtest.h>

#include <clocale>
#include <vector>

#include "core/window_messages.h"
#include "link/command_codes.h"
#include "link/command_payloads.h"
#include "link/command_sender.h"
#include "link/recorder_connection.h"
#include "tests/link/hex.h"
#include "tests/support/loopback_server.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class CountingNotifier : public LinkNotifier {
public:
    void statusChanged() override { messages.push_back(VWM_REFRESH); }
    std::vector<uint32_t> messages;
};

class CommandSenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        connection.record = record;
        connection.shared = &shared;
        connection.notifier = &notifier;
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
    std::vector<uint8_t> received() { return readUntilQuiet(peer, 150); }

    LoopbackListener listener;
    LinkShared shared;
    CountingNotifier notifier;
    RecorderConnection connection;
    DeviceRecord* record = nullptr;
    int peer = -1;
};

}  // namespace

TEST_F(CommandSenderTest, WideEchoAckAndPlainPtz) {
    record->modelIndex = 0;
    EXPECT_EQ(sendCommand(connection, COMMAND_ECHO_ACK), 12);
    EXPECT_EQ(received(), hexBytes("0000ADC2 0CFF00FF 000001B4"));

    record->modelIndex = 30;
    record->currentChannel = 2;
    EXPECT_EQ(sendCommand(connection, COMMAND_PTZ_REQ, 5, 3), 28);
    EXPECT_EQ(received(), hexBytes("0000ADC3 35000000 02000000 12000000 03000000 00000000 4E454E44"));
}

TEST_F(CommandSenderTest, DataRequestSequenceForRawModelInSearchMode) {
    record->modelIndex = 30;
    shared.iframeOnly = 1;
    connection.mode = 1;
    sendCommand(connection, COMMAND_DATA_SEND_REQ, 1, 0);
    auto bytes = received();
    // Three 36-byte data requests and one 16-byte play control.
    ASSERT_EQ(bytes.size(), 3u * 36 + 16);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 32),
              hexBytes("00000000 00000000 00000000 00000000 00000000 00000000"));
    EXPECT_EQ(bytes[36 + 8 + 9], 1);   // second packet: channel 1 marked, flag 0
    EXPECT_EQ(bytes[36 + 12], 0);
    EXPECT_EQ(bytes[72 + 12], 1);      // third packet: flag 1
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 16, bytes.end()),
              hexBytes("0000ADC3 1B000000 01000001 4E454E44"));
}

TEST_F(CommandSenderTest, DdnsInfoRequestIsAlwaysWideAndSetsStatus) {
    record->modelIndex = 30;  // Plain class, still framed Wide
    setText(record->ddnsId, u"G9TEST");
    EXPECT_EQ(sendCommand(connection, COMMAND_DDNS_INFO_REQ), 44);
    EXPECT_EQ(connection.status.load(), 12);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(notifier.messages[0], VWM_REFRESH);
    auto bytes = received();
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8), hexBytes("0000ADC2 2CFF00FF"));
    EXPECT_EQ(bytes[8], 'G');
    EXPECT_EQ(bytes[9], 0xFF);
    EXPECT_EQ(bytes[20], 0);  // the NUL after "G9TEST"
}

TEST_F(CommandSenderTest, SearchTimeAlarmAndPlayControl) {
    record->modelIndex = 12;
    sendCommand(connection, COMMAND_SEARCH_TIME_REQ, 1325375999u);
    EXPECT_EQ(received(), hexBytes("0000ADC2 1DFF00FF FFFFA1FFFFFF4EFF 000001B4"));
    sendCommand(connection, COMMAND_PLAY_CONTROL_REQ);
    EXPECT_EQ(received(), hexBytes("0000ADC2 1BFF00FF 00FF00FF80FF3FFF 000001B4"));
    sendCommand(connection, COMMAND_ALARM_OUT_REQ, 0, 0, 0);
    EXPECT_EQ(received().size(), 12u + 88u);
}

TEST_F(CommandSenderTest, NoClassSendsNothingButConnect) {
    record->modelIndex = 5;
    EXPECT_EQ(sendCommand(connection, COMMAND_ECHO_ACK), 0);
    EXPECT_EQ(sendCommand(connection, COMMAND_LOGIN_REQ), 0);
    EXPECT_EQ(sendCommand(connection, COMMAND_PTZ_REQ, 1, 0), 0);
    EXPECT_TRUE(received().empty());
    record->modelIndex = 0;
    EXPECT_EQ(sendCommand(connection, COMMAND_PTZ_REQ, 11, 0), 0);  // action above 10
    EXPECT_EQ(sendCommand(connection, 999), 0);                    // unknown code
    EXPECT_TRUE(received().empty());
}

TEST_F(CommandSenderTest, LoginVersionTwentyFourOverTheWire) {
    record->modelIndex = 26;
    record->protocolVersion = 24;
    setText(record->account, u"admin");
    setText(record->password, u"1234");
    EXPECT_EQ(sendCommand(connection, COMMAND_LOGIN_REQ), 116);
    auto bytes = received();
    ASSERT_EQ(bytes.size(), 116u);
    EXPECT_EQ(toHex(bytes.data() + 8, 32), "13f2435bdfe24427e5519cda38dbf8718b07174ae31e0a8abb5742e557348725");
}
