// The link's answers to each response, driven through the recorder and DDNS
// parsers on the test thread, with a notifier that records what it is told
// and a peer that receives what the link sends.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/command_codes.h"
#include "link/command_sender.h"
#include "link/link_thread.h"
#include "link/recorder_connection.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class RecordingNotifier : public LinkNotifier {
public:
    // A report as the window message it stands for.
    struct Entry {
        uint32_t message;
        int status;
        LParam lParam = 0;
        uint32_t first = 0;
        uint32_t second = 0;
        bool hasValues = false;    // a range report that carries two times
        int32_t modelIndex = -1;   // of a connected() report
    };
    explicit RecordingNotifier(const RecorderConnection& c) : connection_(c) {}
    void statusChanged() override { entries.push_back({VWM_REFRESH, connection_.status.load()}); }
    void connected(const RecorderDescription& recorder) override {
        Entry e{VWM_CONNECTED, connection_.status.load()};
        e.modelIndex = recorder.modelIndex;
        entries.push_back(e);
    }
    void rangeKnown(RangeKind kind, const TimeRange& range) override {
        entries.push_back({kind == RangeKind::Record ? VWM_RECORD_INFO : VWM_SEARCH_INFO, connection_.status.load(),
                           1, range.start, range.end, true});
    }
    void rangeRefused(RangeKind, const std::optional<TimeRange>& values) override {
        const TimeRange range = values.value_or(TimeRange{});
        entries.push_back(
            {VWM_RECORD_INFO_FAIL, connection_.status.load(), 0, range.start, range.end, values.has_value()});
    }
    std::vector<int> statuses() const {
        std::vector<int> out;
        for (const auto& e : entries)
            if (e.message == VWM_REFRESH) out.push_back(e.status);
        return out;
    }
    std::vector<Entry> entries;

private:
    const RecorderConnection& connection_;
};

class CountingDecoder : public DecoderOpener {
public:
    int openDecoder(int width, int height, DeviceRecord& record) override {
        ++calls;
        lastWidth = width;
        lastHeight = height;
        lastRecord = &record;
        return 1;
    }
    int calls = 0;
    int lastWidth = 0;
    int lastHeight = 0;
    DeviceRecord* lastRecord = nullptr;
};

class LinkCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        record->modelIndex = 0;
        setText(record->account, u"admin");
        setText(record->password, u"1234");
        setText(record->ddnsId, u"REC01");
        connection.record = record;
        connection.shared = &shared;
        connection.notifier = &notifier;
        connection.decoder = &decoder;
        ASSERT_TRUE(connection.allocateBuffers());
        ASSERT_TRUE(connection.socket.create());
        sendCommand(connection, COMMAND_CONNECT_REQ, reinterpret_cast<uintptr_t>(u"127.0.0.1"), peer.port());
        ASSERT_TRUE(peer.accept());
        shared.threadState = kLinkRecorderExchange;
    }
    void TearDown() override {
        connection.socket.close();
        destroyRecord(record);
    }
    void feed(const Bytes& bytes) { parseRecorderStream(connection, bytes.data(), bytes.size(), link); }
    void feedDdns(const Bytes& bytes) { parseDdnsStream(connection, bytes.data(), bytes.size(), link); }

    LinkShared shared;
    RecorderConnection connection;
    RecordingNotifier notifier{connection};
    CountingDecoder decoder;
    LinkThread link{connection};
    ScriptedPeer peer;
    DeviceRecord* record = nullptr;
};

}  // namespace

TEST_F(LinkCommandsTest, ConnectOkStoresTheDescriptionLogsInAndOpensTheDecoder) {
    record->deviceValues[2] = 77;
    feed(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(61, 24)));
    EXPECT_EQ(notifier.statuses(), (std::vector<int>{2, 4}));
    ASSERT_EQ(notifier.entries.size(), 3u);
    EXPECT_EQ(notifier.entries[2].message, VWM_CONNECTED);
    EXPECT_EQ(notifier.entries[2].modelIndex, 26);  // the record's description
    EXPECT_EQ(record->modelIndex.load(), 26);
    EXPECT_EQ(record->protocolVersion, 24);
    EXPECT_EQ(record->deviceValues[2], 0u);
    EXPECT_EQ(record->framingKind.load(), 0);

    // Model 26 is of the Plain class: the login goes out framed Plain.
    auto login = peer.readCommand();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->code, COMMAND_LOGIN_REQ);
    EXPECT_EQ(login->framing, FramingKind::Plain);
    EXPECT_EQ(login->payload.size(), 104u);
    EXPECT_EQ(readLe32(login->payload.data() + 100), 7u);

    EXPECT_EQ(decoder.calls, 1);
    EXPECT_EQ(decoder.lastWidth, 720);
    EXPECT_EQ(decoder.lastHeight, 576);
    EXPECT_EQ(decoder.lastRecord, record);
}

TEST_F(LinkCommandsTest, ConnectOkWithAnotherLengthStopsAtStatusTwo) {
    record->deviceValues[0] = 5;
    feed(commandPacket(FramingKind::Plain, COMMAND_CONNECT_OK, Bytes(100, 1)));
    EXPECT_EQ(notifier.statuses(), (std::vector<int>{2}));
    EXPECT_EQ(notifier.entries.size(), 1u);
    EXPECT_EQ(record->deviceValues[0], 0u);
    EXPECT_EQ(record->framingKind.load(), 1);
    EXPECT_EQ(decoder.calls, 0);
    EXPECT_TRUE(peer.staysQuiet());
}

TEST_F(LinkCommandsTest, LoginOkStoresCapabilitiesAndRequestsTheChannel) {
    record->modelCode = 11;
    record->protocolVersion = 11;
    record->currentChannel = 3;
    shared.iframeOnly = 0;
    feed(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F, 9, 8, 7, 6)));
    EXPECT_EQ(notifier.statuses(), (std::vector<int>{5, 8}));
    EXPECT_EQ(record->cap[1], 0x10);
    EXPECT_EQ(record->val[3], 6u);
    auto request = peer.readCommand();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->code, COMMAND_DATA_SEND_REQ);
    ASSERT_EQ(request->payload.size(), 24u);
    EXPECT_EQ(request->payload[8 + 3], 1);
    EXPECT_EQ(readLe32(request->payload.data() + 4), 0u);
}

TEST_F(LinkCommandsTest, EchoResendAndLoginFail) {
    record->currentChannel = 1;
    feed(concat({commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ),
                 commandPacket(FramingKind::Wide, COMMAND_DATA_RESEND),
                 commandPacket(FramingKind::Wide, COMMAND_LOGIN_FAIL)}));
    EXPECT_EQ(peer.nextCode(), COMMAND_ECHO_ACK);
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(notifier.statuses(), (std::vector<int>{6}));
    EXPECT_TRUE(peer.staysQuiet());
}

TEST_F(LinkCommandsTest, RecordAndSearchInformation) {
    const auto info = [](uint32_t code, uint32_t a, uint32_t b) {
        return commandPacket(FramingKind::Wide, code, twoValues(a, b));
    };
    feed(concat({info(COMMAND_RECORD_INFO, 100, 200), info(COMMAND_RECORD_INFO, 100, 100),
                 info(COMMAND_RECORD_INFO, 0, 200), info(COMMAND_SEARCH_INFO, 5, 6), info(COMMAND_SEARCH_INFO, 7, 0),
                 commandPacket(FramingKind::Wide, COMMAND_SEARCH_INFO_FAIL)}));
    const auto& e = notifier.entries;
    ASSERT_EQ(e.size(), 7u);
    EXPECT_EQ(e[0].message, VWM_RECORD_INFO);
    EXPECT_EQ(e[0].lParam, 1);
    EXPECT_EQ(e[0].first, 100u);
    EXPECT_EQ(e[0].second, 200u);
    EXPECT_EQ(e[1].message, VWM_RECORD_INFO_FAIL);
    EXPECT_EQ(e[1].lParam, 0);
    EXPECT_EQ(e[1].first, 100u);
    EXPECT_EQ(e[2].message, VWM_RECORD_INFO_FAIL);
    EXPECT_EQ(e[3].message, VWM_SEARCH_INFO);
    EXPECT_EQ(e[3].second, 6u);
    EXPECT_EQ(e[4].message, VWM_RECORD_INFO_FAIL);
    EXPECT_EQ(e[5].message, VWM_RECORD_INFO_FAIL);
    EXPECT_FALSE(e[5].hasValues);
    EXPECT_EQ(e[6].message, VWM_REFRESH);
    EXPECT_EQ(e[6].status, 15);
}

TEST_F(LinkCommandsTest, DdnsReadyAsksForTheRecorderAddress) {
    shared.threadState = kLinkDdnsExchange;
    record->modelIndex = 26;  // Plain class: the request is still framed Wide
    feedDdns(commandPacket(FramingKind::Wide, COMMAND_DDNS_READY));
    EXPECT_EQ(notifier.statuses(), (std::vector<int>{9, 12}));
    auto request = peer.readCommand();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->code, COMMAND_DDNS_INFO_REQ);
    EXPECT_EQ(request->framing, FramingKind::Wide);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(request->payload.data())), "REC01");
}

TEST_F(LinkCommandsTest, DdnsInfoGivesTheConnectionTheRecorderAddressAndReconnects) {
    setText(record->address, u"10.0.0.9");
    record->port = 3009;
    shared.threadState = kLinkDdnsExchange;
    Bytes reply = {192, 168, 0, 10, 0, 0, 0, 0};
    writeLe32(reply.data() + 4, 0x12340000 | 9000);  // only the low 16 bits count
    feedDdns(commandPacket(FramingKind::Wide, COMMAND_DDNS_INFO, reply));
    EXPECT_EQ(notifier.statuses(), (std::vector<int>{13}));
    EXPECT_EQ(connection.ddnsAddress, u"192.168.0.10");
    EXPECT_EQ(connection.ddnsPort, 9000);
    // The record keeps what the user entered.
    EXPECT_EQ(record->address.view(), u"10.0.0.9");
    EXPECT_EQ(record->port, 3009);
    EXPECT_EQ(shared.threadState.load(), kLinkReconnect);

    // A reply without room for address and port is ignored.
    shared.threadState = kLinkDdnsExchange;
    feedDdns(commandPacket(FramingKind::Wide, COMMAND_DDNS_INFO, {1, 2, 3, 4}));
    EXPECT_EQ(connection.ddnsAddress, u"192.168.0.10");
    EXPECT_EQ(shared.threadState.load(), kLinkDdnsExchange);

    // A stop request is never overwritten by the move to the reconnect.
    shared.threadState = kLinkStopRequested;
    std::memcpy(connection.decodeBuffer.get(), reply.data(), reply.size());
    link.onCommand(COMMAND_DDNS_INFO, connection.decodeBuffer.get(), reply.size());
    EXPECT_EQ(shared.threadState.load(), kLinkStopRequested);
}
