// The link connecting again by itself, against scripted recorders on
// loopback: what it retries and what not, the growing delays and their reset
// once video flows again, what it resumes, the stall and video-silence
// watches (which a slow display does not set off), retries that get stuck
// at a step of connecting, and a disconnect while a retry is pending.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/command_payloads.h"
#include "tests/link/link_session_fixture.h"

using namespace orvix;
using namespace orvix::test;

namespace {

uint16_t closedPort() {
    LoopbackListener listener;
    return listener.port();
}

class LinkReconnectTest : public LinkSessionTest {
protected:
    void SetUp() override {
        LinkSessionTest::SetUp();
        policy.enabled = true;
        policy.firstDelayMs = 50;
        policy.maxDelayMs = 400;
        policy.spread = 0;
        connection.reconnect.set(policy);
    }
    bool waitRetries(size_t count) {
        return waitUntil([this, count] { return window.retries().size() >= count; });
    }
    // The recorder's side of a retry, up to video flowing; the channel the
    // data request asked for.
    int answerRetry(uint32_t modelCode = 11) {
        EXPECT_TRUE(recorder.accept());
        EXPECT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(modelCode, 11))));
        EXPECT_EQ(recorder.nextCode(), COMMAND_LOGIN_REQ);
        EXPECT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F))));
        const auto request = recorder.readCommand();
        EXPECT_TRUE(request && request->code == COMMAND_DATA_SEND_REQ);
        int channel = -1;
        if (request && request->payload.size() >= 24) {
            for (int i = 0; i < 16; ++i) {
                if (request->payload[8 + i] != 0) channel = i;
            }
        }
        EXPECT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK)));
        EXPECT_TRUE(waitStatus(kStatusDataSendOk));
        return channel;
    }

    ReconnectPolicy policy;
};

}  // namespace

TEST_F(LinkReconnectTest, LossIsRetriedWithGrowingDelaysResetOnceVideoFlows) {
    record->currentChannel = 2;
    shared.iframeOnly = 1;
    bringUp();
    recorder.reset();
    ASSERT_TRUE(waitRetries(1));
    EXPECT_EQ(window.retries()[0].cause, LinkEndCause::Reset);
    EXPECT_EQ(window.retries()[0].attempt, 1);
    EXPECT_EQ(window.retries()[0].delayMs, 50);

    // The recorder drops each attempt at once: each failed attempt waits
    // twice as long, up to the cap.
    for (int attempt = 1; attempt <= 4; ++attempt) {
        ASSERT_TRUE(recorder.accept());
        recorder.close();
        ASSERT_TRUE(waitRetries(static_cast<size_t>(attempt) + 1));
    }
    std::vector<int> delays;
    for (const auto& retry : window.retries()) delays.push_back(retry.delayMs);
    EXPECT_EQ(delays, (std::vector<int>{50, 100, 200, 400, 400}));
    EXPECT_EQ(window.retries()[1].cause, LinkEndCause::PeerClosed);
    EXPECT_EQ(window.retries()[4].attempt, 5);

    // Back again: the same channel and "I only" setting, in live mode.
    EXPECT_EQ(answerRetry(), 2);
    EXPECT_EQ(shared.iframeOnly.load(), 1);
    EXPECT_EQ(connection.mode.load(), 0);
    EXPECT_EQ(connection.reconnectAttempt.load(), 0);
    EXPECT_EQ(infoLine.get().rfind("Reconnected after: ", 0), 0u) << infoLine.get();
    const size_t before = consumer.packetCount();
    VideoParams params;
    params.channel = 2;
    recorder.send(stream(1, 2, params));
    ASSERT_TRUE(waitPackets(before + 2));

    // After video flowed the plan starts again at the first delay.
    window.clear();
    recorder.close();
    ASSERT_TRUE(waitRetries(1));
    EXPECT_EQ(window.retries()[0].cause, LinkEndCause::PeerClosed);
    EXPECT_EQ(window.retries()[0].attempt, 1);
    EXPECT_EQ(window.retries()[0].delayMs, 50);
    EXPECT_EQ(answerRetry(), 2);
    // Told on the lines, never by the box, and never as a final end.
    EXPECT_EQ(window.networkErrors(), 0);
    EXPECT_TRUE(window.ends().empty());
}

TEST_F(LinkReconnectTest, WhatIsNotRetried) {
    // A first connect that never reached video stays "Connect FAIL".
    const uint16_t port = record->port;
    record->port = closedPort();
    shared.threadState = kLinkConnect;
    ASSERT_TRUE(waitUntil([this] { return !window.ends().empty(); }));
    EXPECT_EQ(window.ends()[0].cause, LinkEndCause::ConnectRefused);
    EXPECT_EQ(formatStatusLine(&connection), "Connect FAIL");
    window.run([this] { window.pumpFor(300); });
    EXPECT_TRUE(window.retries().empty());

    // A login refused on a retry is never tried again: the end is final.
    record->port = port;
    window.clear();
    connection.end.clear();
    bringUp();
    recorder.close();
    ASSERT_TRUE(waitRetries(1));
    ASSERT_TRUE(recorder.accept());
    ASSERT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(11, 11))));
    ASSERT_EQ(recorder.nextCode(), COMMAND_LOGIN_REQ);
    ASSERT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_FAIL)));
    ASSERT_TRUE(waitStatus(kStatusLoginFail));
    recorder.close();
    ASSERT_TRUE(waitUntil([this] { return !window.ends().empty(); }));
    window.run([this] { window.pumpFor(300); });
    EXPECT_EQ(window.retries().size(), 1u);
    EXPECT_EQ(shared.threadState.load(), kLinkReady);
    EXPECT_EQ(formatStatusLine(&connection), "Login FAIL - Incorrect Account");
    EXPECT_EQ(infoLine.get(), "Reconnect stopped: the recorder refused the login");
    EXPECT_EQ(window.networkErrors(), 0);

    // With reconnect off (the box unticked while connected) a loss is final
    // and told by the box.
    window.clear();
    connection.end.clear();
    policy.enabled = false;
    connection.reconnect.set(policy);
    bringUp();
    recorder.reset();
    ASSERT_TRUE(waitUntil([this] { return !window.ends().empty(); }));
    window.run([this] { window.pumpFor(200); });
    EXPECT_TRUE(window.retries().empty());
    EXPECT_EQ(window.networkErrors(), 1);
}

TEST_F(LinkReconnectTest, ARetryStuckAtAStepOfConnectingEndsAndTheNextFollows) {
    policy.answerMs = 300;
    connection.reconnect.set(policy);
    const auto describe = [this] {
        ASSERT_TRUE(recorder.accept());
        ASSERT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(11, 11))));
        ASSERT_EQ(recorder.nextCode(), COMMAND_LOGIN_REQ);
    };
    const auto logIn = [&] {
        describe();
        ASSERT_TRUE(recorder.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F))));
        ASSERT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
    };
    struct Stuck {
        std::string answer;
        std::function<void()> play;  // the recorder's side of the stuck attempt
    };
    const std::vector<Stuck> steps = {
        {"connect", [this] { ASSERT_TRUE(recorder.accept()); }},
        {"login", describe},
        {"data-send", logIn},
        // Bytes that are no answer do not hold the attempt up.
        {"data-send",
         [&] {
             logIn();
             for (int i = 0; i < 100 && window.retries().size() < 2; ++i) {
                 recorder.send(Bytes(64, 'x'));
                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
             }
         }},
    };
    bringUp();
    for (const Stuck& stuck : steps) {
        SCOPED_TRACE(stuck.answer);
        window.clear();
        recorder.close();
        ASSERT_TRUE(waitRetries(1));
        stuck.play();
        ASSERT_TRUE(waitRetries(2));
        EXPECT_EQ(window.retries()[1].cause, LinkEndCause::NoAnswer);
        EXPECT_EQ(window.retries()[1].attempt, 2);
        EXPECT_EQ(infoLine.get(),
                  "No " + stuck.answer + " answer from 127.0.0.1:" + std::to_string(recorder.port()) + " in 0.3 s");
        EXPECT_EQ(answerRetry(), 0);
        EXPECT_TRUE(window.ends().empty());
    }
}

TEST_F(LinkReconnectTest, AttemptsStopAtTheLimit) {
    policy.maxAttempts = 2;
    connection.reconnect.set(policy);
    bringUp();
    recorder.reset();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(waitRetries(static_cast<size_t>(attempt)));
        ASSERT_TRUE(recorder.accept());
        recorder.close();
    }
    ASSERT_TRUE(waitUntil([this] { return !window.ends().empty(); }));
    EXPECT_EQ(window.retries().size(), 2u);
    // The last failure is final, as with reconnect off.
    EXPECT_EQ(window.ends()[0].cause, LinkEndCause::PeerClosed);
    EXPECT_EQ(formatStatusLine(&connection), "Disconnect");
    window.run([this] { window.pumpFor(100); });
    EXPECT_EQ(window.networkErrors(), 1);
}

TEST_F(LinkReconnectTest, SilentStreamIsEndedAndMissingVideoIsTold) {
    policy.stallMs = 2500;
    policy.videoSilenceMs = 1000;
    connection.reconnect.set(policy);
    record->currentChannel = 2;
    bringUp();
    // Echo requests keep the connection alive but bring no video.
    for (int i = 0; i < 8; ++i) {
        recorder.send(commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(infoLine.get(), "No video from CH 03 for 1 s");
    EXPECT_TRUE(window.retries().empty());
    // Video back: the notice goes.
    VideoParams params;
    params.channel = 2;
    recorder.send(stream(1, 1, params));
    ASSERT_TRUE(waitUntil([this] { return infoLine.get().empty(); }));

    // Nothing at all, not even echo requests: the connection is dead.
    const auto quietFrom = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitRetries(1));
    EXPECT_GE(std::chrono::steady_clock::now() - quietFrom, std::chrono::milliseconds(2000));
    EXPECT_EQ(window.retries()[0].cause, LinkEndCause::Stalled);
    EXPECT_EQ(answerRetry(), 2);
}

TEST_F(LinkReconnectTest, ALinkHeldByASlowDisplayIsNoSilentRecorder) {
    policy.stallMs = 1000;
    policy.videoSilenceMs = 1000;
    connection.reconnect.set(policy);
    bringUp();
    consumer.setGated(true);
    recorder.send(stream(1, 1));
    ASSERT_TRUE(waitPackets(1));
    // The display holds the ring full; the link thread waits in its push
    // for longer than both watches allow, with the rest of the video unread.
    recorder.send(stream(2, 6));
    ASSERT_TRUE(waitUntil([this] {
        return connection.ring.pending() == 3 && connection.ring.writeIndex() == connection.ring.readIndex();
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    consumer.allow(1000);
    ASSERT_TRUE(waitPackets(7));
    recorder.send(stream(8, 2));
    ASSERT_TRUE(waitPackets(9));
    EXPECT_EQ(tags(), range(1, 9));
    EXPECT_TRUE(window.retries().empty());
    EXPECT_EQ(infoLine.get(), "");
    EXPECT_EQ(status(), kStatusDataSendOk);
}

TEST_F(LinkReconnectTest, DisconnectCancelsAPendingRetryAtOnce) {
    policy.firstDelayMs = 60000;
    policy.maxDelayMs = 60000;
    connection.reconnect.set(policy);
    bringUp();
    recorder.close();
    ASSERT_TRUE(waitRetries(1));
    ASSERT_TRUE(waitUntil([this] { return shared.threadState.load() == kLinkReconnectWait; }));
    EXPECT_EQ(formatStatusLine(&connection), "Reconnecting in 60 s (attempt 1)");
    const auto from = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(std::chrono::steady_clock::now() - from, std::chrono::seconds(5));
    EXPECT_EQ(shared.threadState.load(), kLinkStopped);
    EXPECT_EQ(formatStatusLine(&connection), "Disconnect");
}

TEST(ReconnectText, ShowsTheDelayRoundedToWholeSeconds) {
    EXPECT_EQ(reconnectText(8000, 3), "Reconnecting in 8 s (attempt 3)");
    const std::pair<int64_t, int64_t> shown[] = {{7001, 7}, {7499, 7}, {7500, 8}, {1200, 1}, {1499, 1},
                                                 {1500, 2}, {800, 1}, {-5, 1}};
    for (const auto& [remainingMs, seconds] : shown)
        EXPECT_EQ(reconnectSecondsShown(remainingMs), seconds) << remainingMs;
}
