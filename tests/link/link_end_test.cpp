// How a connection ends by itself, against scripted peers on loopback: a
// reset or a close while streaming, a refused, unanswered or unresolvable
// connect (directly and to the DDNS server), a step of connecting that gets
// no answer, DDNS answers that lead nowhere
// or back to a DDNS server, a command cut part way, and commands from the
// window that cannot go.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "link/command_sender.h"
#include "link/command_wrappers.h"
#include "tests/link/link_session_fixture.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class LinkEndTest : public LinkSessionTest {
protected:
    // Until the link has posted its end (the last thing it does).
    bool waitEnd() {
        return waitUntil([this] { return !window.ends().empty(); });
    }
    // What VWM_LINK_START does after an end.
    void restart() {
        window.clear();
        connection.end.clear();
        shared.threadState = kLinkConnect;
    }
    void expectEnd(LinkEndCause cause, const std::string& text) {
        EXPECT_EQ(connection.end.get().cause, cause) << linkEndCauseName(connection.end.get().cause);
        EXPECT_EQ(connection.end.get().text, text);
        ASSERT_EQ(window.ends().size(), 1u);
        EXPECT_EQ(window.ends()[0].cause, cause);
        EXPECT_EQ(infoLine.get(), text);
        EXPECT_EQ(shared.threadState.load(), kLinkReady);
        EXPECT_FALSE(connection.socket.isOpen());
    }
    void ddnsThrough(const ScriptedPeer& ddns) {
        record->useStatic = 0;
        setText(record->ddnsServer, u"127.0.0.1");
        record->ddnsPort = ddns.port();
    }
    // The DDNS server's side of one query: ready, the request, the answer.
    void answerQuery(ScriptedPeer& server, std::array<uint8_t, 4> address, uint16_t port) {
        ASSERT_TRUE(server.send(commandPacket(FramingKind::Wide, COMMAND_DDNS_READY)));
        ASSERT_EQ(server.nextCode(), COMMAND_DDNS_INFO_REQ);
        Bytes reply(address.begin(), address.end());
        reply.resize(8);
        writeLe32(reply.data() + 4, port);
        ASSERT_TRUE(server.send(commandPacket(FramingKind::Wide, COMMAND_DDNS_INFO, reply)));
    }
    static void shrinkSendBuffer(int fd) {
        const int small = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    }
};

uint16_t closedPort() {
    LoopbackListener listener;
    return listener.port();
}

}  // namespace

TEST_F(LinkEndTest, ResetAndCloseWhileStreamingEndTheLinkTheSameWay) {
    struct Way {
        bool reset;
        LinkEndCause cause;
        const char* text;
    };
    for (const Way& way : {Way{true, LinkEndCause::Reset, "Connection reset by the recorder"},
                           Way{false, LinkEndCause::PeerClosed, "Connection closed by the recorder"}}) {
        SCOPED_TRACE(way.text);
        restart();
        bringUp();
        const size_t before = consumer.packetCount();
        recorder.send(stream(1, 2));
        ASSERT_TRUE(waitPackets(before + 2));
        if (way.reset) {
            recorder.reset();
        } else {
            recorder.close();
        }
        ASSERT_TRUE(waitEnd());
        expectEnd(way.cause, way.text);
        // Status 0, not the last "Data Send OK": the line tells the truth.
        EXPECT_EQ(status(), kStatusDisconnect);
        EXPECT_EQ(window.refreshStatuses().back(), kStatusDisconnect);
        EXPECT_EQ(formatStatusLine(&connection), "Disconnect");
        // The user is told once, however long the link then idles.
        window.run([this] { window.pumpFor(300); });
        EXPECT_EQ(window.networkErrors(), 1);
        EXPECT_EQ(window.ends().size(), 1u);
    }
    // The disconnect ends the idle link at once.
    stop();
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
}

TEST_F(LinkEndTest, FailedConnectsSetConnectFailWithTheReason) {
    struct Failure {
        std::u16string host;
        uint16_t port;
        bool ddns;
        LinkEndCause cause;
        std::string text;
    };
    StalledListener stalled;
    const uint16_t refused = closedPort();
    const std::string refusedText = "127.0.0.1:" + std::to_string(refused);
    const std::string stalledText = "127.0.0.1:" + std::to_string(stalled.port());
    // A short limit keeps the unanswered cases quick; the program's is 10 s.
    connection.connectTimeoutMs = 300;
    const std::vector<Failure> failures = {
        {u"127.0.0.1", refused, false, LinkEndCause::ConnectRefused, "Connection refused by " + refusedText},
        {u"127.0.0.1", stalled.port(), false, LinkEndCause::ConnectTimeout, "No answer from " + stalledText},
        {u"recorder.invalid", 3000, false, LinkEndCause::ConnectFailed, "Address not found: recorder.invalid"},
        {u"127.0.0.1", refused, true, LinkEndCause::ConnectRefused,
         "Connection refused by the DDNS server " + refusedText},
        {u"127.0.0.1", stalled.port(), true, LinkEndCause::ConnectTimeout,
         "No answer from the DDNS server " + stalledText},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.text);
        if (f.ddns) {
            record->useStatic = 0;
            setText(record->ddnsServer, f.host);
            record->ddnsPort = f.port;
        } else {
            record->useStatic = 1;
            setText(record->address, f.host);
            record->port = f.port;
        }
        restart();
        ASSERT_TRUE(waitEnd());
        expectEnd(f.cause, f.text);
        EXPECT_EQ(window.refreshStatuses(),
                  (std::vector<int>{f.ddns ? kStatusDdnsConnReq : kStatusConnectReq, kStatusConnectFail}));
        EXPECT_EQ(formatStatusLine(&connection), "Connect FAIL");
        // A connect that never got there is on the status line; no box.
        EXPECT_EQ(window.networkErrors(), 0);
    }
}

TEST_F(LinkEndTest, AConnectWhoseStepGetsNoAnswerFailsNamingTheStep) {
    ScriptedPeer ddns;
    ReconnectPolicy policy;
    policy.answerMs = 300;  // the program's is 10 s
    connection.reconnect.set(policy);
    const std::string recorderAt = "127.0.0.1:" + std::to_string(recorder.port());
    const std::string ddnsAt = "the DDNS server 127.0.0.1:" + std::to_string(ddns.port());
    struct Step {
        bool viaDdns;
        std::function<void()> play;  // the peer's side, up to where it goes silent
        std::string text;
        std::vector<int> statuses;
    };
    const auto describe = [this] {
        ASSERT_TRUE(recorder.accept());
        ASSERT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(11, 11))));
        ASSERT_EQ(recorder.nextCode(), COMMAND_LOGIN_REQ);
    };
    const std::vector<Step> steps = {
        {false, [this] { ASSERT_TRUE(recorder.accept()); }, "No connect answer from " + recorderAt, {1, 3}},
        {false, describe, "No login answer from " + recorderAt, {1, 2, 4, 3}},
        {false,
         [&] {
             describe();
             ASSERT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F))));
             ASSERT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
         },
         "No data-send answer from " + recorderAt, {1, 2, 4, 5, 8, 3}},
        {true, [&] { ASSERT_TRUE(ddns.accept()); }, "No DDNS answer from " + ddnsAt, {10, 3}},
        {true,
         [&] {
             ASSERT_TRUE(ddns.accept());
             ASSERT_TRUE(ddns.send(commandPacket(FramingKind::Wide, COMMAND_DDNS_READY)));
             ASSERT_EQ(ddns.nextCode(), COMMAND_DDNS_INFO_REQ);
         },
         "No DDNS answer from " + ddnsAt, {10, 9, 12, 3}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.text);
        record->useStatic = step.viaDdns ? 0 : 1;
        setText(record->ddnsServer, u"127.0.0.1");
        record->ddnsPort = ddns.port();
        restart();
        step.play();
        ASSERT_TRUE(waitEnd());
        expectEnd(LinkEndCause::NoAnswer, step.text + " in 0.3 s");
        EXPECT_EQ(window.refreshStatuses(), step.statuses);
        EXPECT_EQ(formatStatusLine(&connection), "Connect FAIL");
        EXPECT_EQ(window.networkErrors(), 0);
    }
}

TEST_F(LinkEndTest, DdnsAnswersThatNameNoRecorderAreRefused) {
    ScriptedPeer ddns;
    ddnsThrough(ddns);
    const std::u16string address(record->address.view());
    const uint16_t port = record->port;
    struct Answer {
        std::array<uint8_t, 4> address;
        uint16_t port;
        std::string shown;
    };
    const std::string recorderPort = std::to_string(recorder.port());
    // 0.0.0.0 with the recorder's port would reach the local recorder.
    for (const Answer& answer : {Answer{{0, 0, 0, 0}, recorder.port(), "0.0.0.0:" + recorderPort},
                                 Answer{{255, 255, 255, 255}, recorder.port(), "255.255.255.255:" + recorderPort},
                                 Answer{{224, 0, 0, 1}, 3000, "224.0.0.1:3000"},
                                 Answer{{239, 255, 255, 250}, 3000, "239.255.255.250:3000"},
                                 Answer{{127, 0, 0, 1}, 0, "127.0.0.1:0"}}) {
        SCOPED_TRACE(answer.shown);
        restart();
        ASSERT_TRUE(ddns.accept());
        answerQuery(ddns, answer.address, answer.port);
        ASSERT_TRUE(waitEnd());
        expectEnd(LinkEndCause::DdnsRefusedAnswer, "DDNS answer refused: " + answer.shown + " is no recorder address");
        EXPECT_EQ(window.refreshStatuses(), (std::vector<int>{10, 9, 12, 13, 3}));
        EXPECT_EQ(window.count(VWM_SOCKET_RESET), 0u);
        EXPECT_FALSE(recorder.accept(200));
        // The record keeps the address it had.
        EXPECT_EQ(record->address.view(), address);
        EXPECT_EQ(record->port, port);
    }
}

TEST_F(LinkEndTest, DdnsAnswerLeadingToDdnsServersIsFollowedOnceThenStops) {
    ScriptedPeer ddns, second, third;
    ddnsThrough(ddns);
    shared.threadState = kLinkConnect;
    ASSERT_TRUE(ddns.accept());
    answerQuery(ddns, {127, 0, 0, 1}, second.port());
    // The "recorder" speaks as a DDNS server: followed once, as a referral.
    ASSERT_TRUE(second.accept());
    answerQuery(second, {127, 0, 0, 1}, third.port());
    // The next one does the same: the link stops instead of going round.
    ASSERT_TRUE(third.accept());
    ASSERT_TRUE(third.send(commandPacket(FramingKind::Wide, COMMAND_DDNS_READY)));
    ASSERT_TRUE(waitEnd());
    expectEnd(LinkEndCause::DdnsLoop,
              "DDNS loop: 127.0.0.1:" + std::to_string(third.port()) + " is a DDNS server, not a recorder");
    EXPECT_TRUE(third.staysQuiet());
    EXPECT_EQ(window.refreshStatuses(), (std::vector<int>{10, 9, 12, 13, 1, 9, 12, 13, 1, 3}));
    EXPECT_EQ(window.networkErrors(), 0);
}

TEST_F(LinkEndTest, DdnsServerClosingBeforeItAnswersIsALoss) {
    ScriptedPeer ddns;
    ddnsThrough(ddns);
    shared.threadState = kLinkConnect;
    ASSERT_TRUE(ddns.accept());
    ASSERT_TRUE(ddns.send(commandPacket(FramingKind::Wide, COMMAND_DDNS_READY)));
    ASSERT_EQ(ddns.nextCode(), COMMAND_DDNS_INFO_REQ);
    ddns.close();
    ASSERT_TRUE(waitEnd());
    expectEnd(LinkEndCause::PeerClosed, "Connection closed by the DDNS server");
    EXPECT_EQ(status(), kStatusDisconnect);
    EXPECT_EQ(window.networkErrors(), 1);
}

TEST_F(LinkEndTest, CommandCutPartWayEndsTheLink) {
    bringUp();
    shrinkSendBuffer(connection.socket.descriptor());
    // Large commands from the window while the recorder reads nothing: one
    // of them finds room for only its front part.
    const Bytes payload(30000, 0x11);
    bool cut = false;
    for (int i = 0; i < 500 && !cut; ++i) {
        int result = 0;
        window.run([&] {
            std::lock_guard<std::mutex> lock(connection.sendLock);
            result = connection.sendFramed(FramingKind::Wide, COMMAND_PTZ_REQ, payload.data(), payload.size());
        });
        if (result >= 0) continue;
        cut = connection.commandCut.load() || connection.end.ended();
        // No room at all: let a little through so that the next one is cut.
        if (!cut) recorder.drain(1000);
    }
    ASSERT_TRUE(cut);
    ASSERT_TRUE(waitEnd());
    expectEnd(LinkEndCause::SendFailed, "Connection lost: a command could not be sent");
    EXPECT_EQ(status(), kStatusDisconnect);
    EXPECT_EQ(window.networkErrors(), 1);
}

TEST_F(LinkEndTest, WindowSendsWaitBrieflyAndASequenceStopsAtItsFirstFailure) {
    bringUp();
    EXPECT_EQ(decoderProbe.linkThreadSendWaitMs.load(), TcpSocket::kSendWaitMs);
    int windowWait = 0;
    window.run([&] { windowWait = connection.sendWaitMs(); });
    EXPECT_EQ(windowWait, kOwnerSendWaitMs);

    // Sends that fail with nothing sent (here: the sending side is shut)
    // leave the link up; only a command cut part way ends it.
    ::shutdown(connection.socket.descriptor(), SHUT_WR);
    int result = 0;
    window.run([&] { result = sendCommand(connection, COMMAND_ECHO_ACK); });
    ASSERT_EQ(result, -1);
    ASSERT_FALSE(connection.socket.streamCut());

    // A search start whose first command cannot go gives up the rest, and
    // the live pictures keep passing the filter.
    window.run([this] { EXPECT_STREQ(startSearch(&connection, 1325376000u), "Search start ..."); });
    // A range request that could not go is not reported as asked.
    window.run([this] { EXPECT_EQ(requestRecordInfo(&connection), nullptr); });
    EXPECT_EQ(connection.mode.load(), 0);
    EXPECT_EQ(connection.display.mode.load(), 0);
    EXPECT_FALSE(connection.end.ended());
    EXPECT_EQ(status(), kStatusDataSendOk);
}
