// Whole sessions: the link thread against a scripted recorder (and DDNS
// server) on loopback, a test window that handles its notifications on a
// thread of its own, and a test display side that takes packets from the
// ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "link/command_wrappers.h"
#include "tests/link/link_session_fixture.h"

using namespace orvix;
using namespace orvix::test;

TEST_F(LinkSessionTest, DirectConnectStreamsAnswersAndFollowsTheUser) {
    bringUp();
    EXPECT_EQ(window.refreshStatuses(), (std::vector<int>{1, 2, 4, 5, 8, 9}));
    EXPECT_EQ(window.count(VWM_CONNECTED), 1u);
    EXPECT_EQ(formatStatusLine(&connection), "Data Send OK [0fps][0byte]");

    // Video in small pieces, every marker split somewhere.
    recorder.sendChunked(stream(1, 5), 3);
    ASSERT_TRUE(waitPackets(5));
    EXPECT_EQ(tags(), range(1, 5));
    EXPECT_GT(shared.bytesCounter.load(), 0u);

    // Echo while streaming.
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ));
    EXPECT_EQ(recorder.nextCode(), COMMAND_ECHO_ACK);

    // Record information: two different values, then equal values.
    window.run([this] { EXPECT_STREQ(requestRecordInfo(&connection), "Record Info Request.."); });
    auto request = recorder.readCommand();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->code, COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(request->payload, Bytes(24, 0));  // no channel
    EXPECT_EQ(recorder.nextCode(), COMMAND_RECORD_INFO_REQ);
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(1000, 2000)));
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(1000, 1000)));
    ASSERT_TRUE(waitUntil([this] { return window.count(VWM_RECORD_INFO_FAIL) == 1; }));
    const auto handled = window.handled();
    auto info = std::find_if(handled.begin(), handled.end(), [](auto& h) { return h.message == VWM_RECORD_INFO; });
    ASSERT_NE(info, handled.end());
    EXPECT_EQ(info->first, 1000u);
    EXPECT_EQ(info->second, 2000u);
    EXPECT_EQ(info->lParam, 1);

    // Camera control and alarm output at status 9.
    record->currentChannel = 0;
    window.run([this] {
        requestPtz(&connection, 5, 3);
        switchAlarmOn(&connection, 2, 30);
        switchAlarmOff(&connection);
    });
    auto ptz = recorder.readCommand();
    ASSERT_TRUE(ptz);
    EXPECT_EQ(ptz->code, COMMAND_PTZ_REQ);
    EXPECT_EQ(readLe32(ptz->payload.data() + 4), 18u);
    EXPECT_EQ(readLe32(ptz->payload.data() + 8), 3u);
    EXPECT_EQ(recorder.nextCode(), COMMAND_ALARM_OUT_REQ);
    EXPECT_EQ(recorder.nextCode(), COMMAND_ALARM_OUT_REQ);

    // Channel change: the new channel's pictures start at its first key frame.
    record->currentChannel = 1;
    window.run([this] { requestData(&connection, 1, 0); });
    request = recorder.readCommand();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->payload[8 + 1], 1);
    recorder.send(concat({stream(10, 2, {.channel = 0}), stream(20, 2, {.channel = 1, .key = false}),
                          stream(30, 1, {.channel = 1}), stream(40, 2, {.channel = 1, .key = false})}));
    ASSERT_TRUE(waitPackets(8));
    EXPECT_EQ(tags(), (std::vector<int>{1, 2, 3, 4, 5, 30, 40, 41}));

    // I-frame-only: only key frames pass.
    shared.iframeOnly = 1;
    recorder.send(concat({stream(50, 1, {.channel = 1, .key = false}), stream(51, 1, {.channel = 1}),
                          stream(52, 1, {.kind = VideoKind::Ndav, .channel = 1, .key = false}),
                          stream(53, 1, {.kind = VideoKind::Ndav, .channel = 1})}));
    ASSERT_TRUE(waitPackets(10));
    EXPECT_EQ(tags().back(), 53);
    EXPECT_EQ(tags()[8], 51);
    shared.iframeOnly = 0;

    // Search: the wrapper enters search mode; live streams are then dropped.
    window.run([this] { EXPECT_STREQ(startSearch(&connection, 1325376000u), "Search start ..."); });
    EXPECT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(recorder.nextCode(), COMMAND_SEARCH_MODE_REQ);
    auto time = recorder.readCommand();
    ASSERT_TRUE(time);
    EXPECT_EQ(time->code, COMMAND_SEARCH_TIME_REQ);
    EXPECT_EQ(readLe32(time->payload.data()), 1325376000u);
    EXPECT_EQ(recorder.nextCode(), COMMAND_SEARCH_PLAY_REQ);
    EXPECT_EQ(recorder.nextCode(), COMMAND_PLAY_CONTROL_REQ);
    EXPECT_EQ(connection.mode.load(), 1);
    EXPECT_EQ(connection.display.mode.load(), 1);
    recorder.send(concat({stream(60, 1, {.channel = 1, .streamKind = 3}), stream(61, 1, {.channel = 1, .streamKind = 9})}));
    ASSERT_TRUE(waitPackets(11));
    EXPECT_EQ(tags().back(), 61);

    window.run([this] { EXPECT_STREQ(endSearch(&connection), "Search end -> goto Live"); });
    EXPECT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(recorder.nextCode(), COMMAND_SEARCH_MODE_REQ);
    EXPECT_EQ(recorder.nextCode(), COMMAND_SEARCH_END_REQ);
    EXPECT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(connection.mode.load(), 0);

    // The search information is refused: status 15, and the wrappers stop.
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_SEARCH_INFO_FAIL));
    ASSERT_TRUE(waitStatus(kStatusSearchInfoFail));
    window.run([this] { requestPtz(&connection, 1, 0); });
    EXPECT_TRUE(recorder.staysQuiet());

    stop();
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
    EXPECT_EQ(status(), kStatusDisconnect);
    EXPECT_FALSE(connection.socket.isOpen());
}

TEST_F(LinkSessionTest, ThroughTheDdnsServerToTheRecorder) {
    ScriptedPeer ddns;
    record->useStatic = 0;
    setText(record->address, u"10.9.8.7");  // the user's static address: kept
    record->port = 1;
    record->modelIndex = 26;
    setText(record->ddnsServer, u"localhost");  // a name: looked up first
    record->ddnsPort = ddns.port();

    shared.threadState = kLinkConnect;
    ASSERT_TRUE(ddns.accept());
    ddns.send(commandPacket(FramingKind::Wide, COMMAND_DDNS_READY));
    auto request = ddns.readCommand();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->code, COMMAND_DDNS_INFO_REQ);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(request->payload.data())), "REC01");

    Bytes reply = {127, 0, 0, 1, 0, 0, 0, 0};
    writeLe32(reply.data() + 4, recorder.port());
    // The reply comes one byte at a time.
    ddns.sendChunked(commandPacket(FramingKind::Wide, COMMAND_DDNS_INFO, reply), 1);

    ASSERT_TRUE(recorder.accept());
    ASSERT_TRUE(waitStatus(kStatusConnectReq));
    EXPECT_EQ(formatStatusLine(&connection), "Connect Req Ip:127.0.0.1 Port:" + std::to_string(recorder.port()));
    recorder.send(commandPacket(FramingKind::Plain, COMMAND_CONNECT_OK, description(61, 11)));
    ASSERT_EQ(recorder.nextCode(), COMMAND_LOGIN_REQ);
    recorder.send(commandPacket(FramingKind::Plain, COMMAND_LOGIN_OK, loginOkPayload(0)));
    ASSERT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
    recorder.send(commandPacket(FramingKind::Plain, COMMAND_DATA_SEND_OK));
    ASSERT_TRUE(waitStatus(kStatusDataSendOk));

    EXPECT_EQ(window.refreshStatuses(), (std::vector<int>{10, 9, 12, 13, 1, 2, 4, 5, 8, 9}));
    EXPECT_EQ(window.count(VWM_SOCKET_RESET), 1u);
    // The answer belongs to the connection; the record's stored address and
    // port stay what the user entered, so a later save cannot lose them.
    EXPECT_EQ(connection.ddnsAddress, u"127.0.0.1");
    EXPECT_EQ(connection.ddnsPort, recorder.port());
    EXPECT_EQ(record->address.view(), u"10.9.8.7");
    EXPECT_EQ(record->port, 1);

    recorder.send(stream(1, 3, {.kind = VideoKind::Ndav}));
    ASSERT_TRUE(waitPackets(3));
    EXPECT_EQ(tags(), range(1, 3));
}

TEST_F(LinkSessionTest, DigitFirstDdnsServerIsUsedAsItIs) {
    ScriptedPeer ddns;
    record->useStatic = 0;
    setText(record->ddnsServer, u"127.0.0.1");
    record->ddnsPort = ddns.port();
    shared.threadState = kLinkConnect;
    ASSERT_TRUE(ddns.accept());
    ASSERT_TRUE(waitUntil([this] { return shared.threadState.load() == kLinkDdnsExchange; }));
    EXPECT_EQ(window.refreshStatuses(), (std::vector<int>{10}));
}

TEST_F(LinkSessionTest, FailingLookupRetriesUntilTheDisconnect) {
    record->useStatic = 0;
    setText(record->ddnsServer, u"ddns.invalid");
    shared.threadState = kLinkConnect;
    // Give it a few passes; it stays in the connect state and says nothing.
    window.run([this] { window.pumpFor(300); });
    EXPECT_EQ(shared.threadState.load(), kLinkConnect);
    EXPECT_EQ(status(), 0);
    EXPECT_TRUE(window.refreshStatuses().empty());
    stop();
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
}

TEST_F(LinkSessionTest, WrongAccountWaitsAndStillAnswersEcho) {
    shared.threadState = kLinkConnect;
    ASSERT_TRUE(recorder.accept());
    ASSERT_TRUE(waitStatus(kStatusConnectReq));
    // Echo before the recorder has described itself.
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ));
    EXPECT_EQ(recorder.nextCode(), COMMAND_ECHO_ACK);

    recorder.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(12, 1)));
    auto login = recorder.readCommand();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->payload.size(), 100u);  // protocol version 1
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(login->payload.data())), "admin");
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_FAIL));
    ASSERT_TRUE(waitStatus(kStatusLoginFail));
    EXPECT_EQ(formatStatusLine(&connection), "Login FAIL - Incorrect Account");

    recorder.send(commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ));
    EXPECT_EQ(recorder.nextCode(), COMMAND_ECHO_ACK);
    EXPECT_TRUE(recorder.staysQuiet());  // no retry
    EXPECT_EQ(status(), kStatusLoginFail);
}

TEST_F(LinkSessionTest, DdnsCommandsFromARecorderAreIgnored) {
    ScriptedPeer elsewhere;
    bringUp();
    Bytes answer = {127, 0, 0, 1, 0, 0, 0, 0};
    writeLe32(answer.data() + 4, elsewhere.port());
    recorder.send(concat({stream(1, 2), commandPacket(FramingKind::Wide, COMMAND_DDNS_INFO, answer),
                          commandPacket(FramingKind::Wide, COMMAND_DDNS_READY), stream(3, 2)}));
    ASSERT_TRUE(waitPackets(4));
    EXPECT_EQ(tags(), range(1, 4));
    // The stream goes on where it is: nothing asked, nowhere else connected.
    EXPECT_TRUE(recorder.staysQuiet());
    EXPECT_FALSE(elsewhere.accept(300));
    EXPECT_EQ(window.count(VWM_SOCKET_RESET), 0u);
    EXPECT_EQ(window.refreshStatuses(), (std::vector<int>{1, 2, 4, 5, 8, 9}));
    EXPECT_EQ(shared.threadState.load(), kLinkRecorderExchange);
}

TEST_F(LinkSessionTest, SlowDisplayBlocksTheProducerWithoutLossOrReordering) {
    bringUp();
    consumer.setGated(true);
    // The display holds the first packet before the rest arrive (otherwise
    // the producer may find the ring full before that first take and wait
    // out its 2-second step).
    recorder.send(stream(1, 1));
    ASSERT_TRUE(waitPackets(1));
    // NDA packets go lock-step, the others wait only when the ring is full.
    recorder.send(concat({stream(2, 5), stream(7, 6, {.kind = VideoKind::Nda}), stream(13, 6, {.kind = VideoKind::Badj})}));
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ));
    // One packet held by the display, three waiting: the link thread is
    // blocked in the push and reads nothing more, so the echo waits too.
    ASSERT_TRUE(waitUntil([this] {
        return consumer.packetCount() == 1 && connection.ring.pending() == 3 &&
               connection.ring.writeIndex() == connection.ring.readIndex();
    }));
    EXPECT_TRUE(recorder.staysQuiet());

    consumer.allow(1000);
    ASSERT_TRUE(waitPackets(18));
    EXPECT_EQ(tags(), range(1, 18));
    EXPECT_EQ(recorder.nextCode(), COMMAND_ECHO_ACK);
}

TEST_F(LinkSessionTest, StopWhileTheProducerIsBlockedInAFullRing) {
    bringUp();
    consumer.setGated(true);
    recorder.send(stream(1, 1));
    ASSERT_TRUE(waitPackets(1));
    recorder.send(stream(2, 11));
    ASSERT_TRUE(waitUntil([this] {
        return connection.ring.pending() == 3 && connection.ring.writeIndex() == connection.ring.readIndex();
    }));
    // The display keeps taking packets once the stop is requested.
    stop();
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
    const auto got = tags();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got, range(1, static_cast<int>(got.size())));
}

TEST_F(LinkSessionTest, StopWhileTheLinkWaitsInsideANotification) {
    window.holdRefreshUntilStop(kStatusConnectOk, &shared);
    shared.threadState = kLinkConnect;
    ASSERT_TRUE(recorder.accept());
    recorder.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(11, 11)));
    // The link thread now sits in its status-2 notification until the stop
    // begins; the window handles it while it waits for the link to end.
    ASSERT_TRUE(waitUntil([this] { return status() == kStatusConnectOk; }));
    stop();
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
    EXPECT_EQ(window.refreshStatuses().front(), kStatusConnectReq);
    EXPECT_EQ(window.refreshStatuses()[1], kStatusConnectOk);
}
