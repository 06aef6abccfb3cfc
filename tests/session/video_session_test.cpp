// A whole connection through the GUI-free session: set-up, connect, login,
// streaming into the display thread, disconnect, tear-down, and again.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "link/command_codes.h"
#include "link/link_status.h"
#include "link/wire_format.h"
#include "session/decode_workers.h"
#include "session/packet_sink.h"
#include "session/renderer_switch.h"
#include "session/video_session.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"
#include "tests/link/test_window.h"
#include "tests/gui/failing_allocation.h"
#include "tests/support/pipeline_support.h"
#include "tests/support/test_stream.h"

using namespace orvix;
using namespace orvix::test;

namespace {

constexpr uint32_t kModelCode11 = 11;  // model index 0: Wide commands, 64-byte headers, MPEG-4

// The test window's thread as the session's owner thread, keeping the ends
// the session tells of.
class WindowOwner final : public OwnerThread, public SessionEvents {
public:
    explicit WindowOwner(TestWindow& window) : window_(window) {}
    void sendReport(Task task) override { window_.run(task); }
    void postReport(Task task) override { window_.post(std::move(task)); }
    void linkEnded(const LinkEnd& end) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ends_.push_back(end);
    }
    std::vector<LinkEnd> ends() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ends_;
    }

private:
    TestWindow& window_;
    mutable std::mutex mutex_;
    std::vector<LinkEnd> ends_;
};

class VideoSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        setText(record->name, u"Lobby");
        setText(record->address, u"127.0.0.1");
        record->useStatic = 1;
        renderers.setRenderers(&renderer, nullptr);
        renderers.setFlag(RendererSwitch::kSoftwareFlag);
    }
    void TearDown() override {
        window.run([&] { session.tearDown(); });
        destroyRecord(record);
    }

    VideoSession::SetUpResult setUpSession(PacketSink* sink = nullptr) {
        VideoSession::SetUpResult result{};
        window.run([&] {
            result = sink != nullptr ? session.setUp(record, *sink) : session.setUp(record, renderers);
        });
        return result;
    }
    void disconnect() {
        window.run([&] { session.disconnect([&](int ms) { window.pumpFor(ms); }); });
    }
    int status() {
        int value = 0;
        window.run([&] { value = session.status(); });
        return value;
    }

    // Connects to `peer` and answers the handshake up to streaming.
    void connectAndStream(ScriptedPeer& peer, PacketSink* sink = nullptr) {
        record->port = peer.port();
        ASSERT_EQ(setUpSession(sink), VideoSession::SetUpResult::Started);
        window.run([&] { session.startLink(); });
        ASSERT_TRUE(peer.accept());
        peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
        ASSERT_EQ(peer.nextCode(), COMMAND_LOGIN_REQ);
        peer.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
        ASSERT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
        peer.send(commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK));
        ASSERT_TRUE(waitUntil([&] { return status() == kStatusDataSendOk; }));
    }

    DeviceRecord* record = nullptr;
    TestWindow window;
    WindowOwner owner{window};
    VideoSession session{owner, owner};
    RecordingRenderer renderer;
    RendererSwitch renderers;
};

// Keeps every packet it is handed, as the RTSP feed would take them.
class KeptPackets final : public PacketSink {
public:
    void packet(const uint8_t* slot, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        packets_.emplace_back(slot, slot + length);
        cv_.notify_all();
    }
    std::vector<Bytes> waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::seconds(10), [&] { return packets_.size() >= count; });
        return packets_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Bytes> packets_;
};

}  // namespace

TEST_F(VideoSessionTest, PacketSinkTakesEveryPacketInOrderWithoutADecoder) {
    KeptPackets sink;
    ScriptedPeer peer;
    session.shared().iframeOnly.store(0);
    connectAndStream(peer, &sink);
    EXPECT_EQ(session.decoder(), nullptr);
    std::vector<Bytes> sent;
    for (uint32_t i = 0; i < 12; ++i) {
        // More packets than the ring has slots, so slots are reused.
        sent.push_back(f5Header64Packet(Bytes(100 + i, static_cast<uint8_t>(i)), 1325376000 + i, 0, i % 4 == 0));
        peer.send(sent.back());
    }
    EXPECT_EQ(sink.waitFor(sent.size()), sent);
    EXPECT_TRUE(renderer.shown().empty());

    disconnect();
    EXPECT_FALSE(session.threadsRunning());
    window.run([&] { session.tearDown(); });
    EXPECT_EQ(session.connection(), nullptr);
}

TEST_F(VideoSessionTest, StreamsPicturesThenDisconnectsAndConnectsAgain) {
    const EncodedStream red = encodeImages("mpeg4", {solidImage(352, 288, 230, 20, 20)}, 1);
    for (int round = 0; round < 2; ++round) {
        ScriptedPeer peer;
        connectAndStream(peer);
        EXPECT_EQ(record->modelIndex.load(), 0);
        peer.send(f5Header64Packet(red.packets[0], 951782400, 0, true));
        ASSERT_TRUE(renderer.waitFor(static_cast<size_t>(round) + 1));
        const auto shown = renderer.shown().back();
        ASSERT_EQ(shown.picture.width, 352);
        const uint8_t* pixel = shown.picture.pixel(100, 100);
        EXPECT_LT(pixel[0], 60);   // blue
        EXPECT_LT(pixel[1], 60);   // green
        EXPECT_GT(pixel[2], 190);  // red

        disconnect();
        EXPECT_EQ(status(), kStatusDisconnect);
        EXPECT_EQ(session.shared().threadState.load(), kLinkStopped);
        EXPECT_FALSE(session.threadsRunning());
        window.run([&] { session.tearDown(); });
        EXPECT_EQ(session.connection(), nullptr);
        EXPECT_EQ(session.shared().threadState.load(), kLinkReady);
    }
}

TEST_F(VideoSessionTest, UnknownFramingStartsNothingAndDisconnectReturnsAtOnce) {
    record->framingKind = 2;
    EXPECT_EQ(setUpSession(), VideoSession::SetUpResult::FramingRejected);
    EXPECT_FALSE(session.setUpFailed());
    EXPECT_FALSE(session.threadsRunning());
    EXPECT_EQ(session.connection(), nullptr);
    window.run([&] { session.startLink(); });
    EXPECT_NE(session.shared().threadState.load(), kLinkConnect);
    int waits = 0;
    window.run([&] { session.disconnect([&](int) { ++waits; }); });
    EXPECT_EQ(waits, 0);  // nothing to wait for
    record->framingKind = -1;
    EXPECT_EQ(setUpSession(), VideoSession::SetUpResult::FramingRejected);
}

TEST_F(VideoSessionTest, WrappersActOnlyWhileStreamingAndSetTheInfoLine) {
    ScriptedPeer peer;
    record->port = peer.port();
    ASSERT_EQ(setUpSession(), VideoSession::SetUpResult::Started);
    // Before streaming: nothing is sent, but the search texts still show.
    window.run([&] {
        session.ptz(1, 0);
        session.startSearch(1325375999u);
    });
    EXPECT_EQ(session.infoLine(), "Search start ...");
    window.run([&] { session.startLink(); });
    ASSERT_TRUE(peer.accept());
    EXPECT_TRUE(peer.staysQuiet(200));

    peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
    ASSERT_EQ(peer.nextCode(), COMMAND_LOGIN_REQ);
    peer.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
    ASSERT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    peer.send(commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK));
    ASSERT_TRUE(waitUntil([&] { return status() == kStatusDataSendOk; }));

    window.run([&] { session.requestRecordInfo(); });
    EXPECT_EQ(session.infoLine(), "Record Info Request..");
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(peer.nextCode(), COMMAND_RECORD_INFO_REQ);
    window.run([&] { session.alarmOn(2, 60); });
    auto alarm = peer.readCommand();
    ASSERT_TRUE(alarm);
    EXPECT_EQ(alarm->code, COMMAND_ALARM_OUT_REQ);
    EXPECT_EQ(alarm->payload[5], 1);

    disconnect();
    EXPECT_TRUE(session.infoLine().empty());
}

TEST_F(VideoSessionTest, LinkThatEndedStartsAfresh) {
    const EncodedStream red = encodeImages("mpeg4", {solidImage(352, 288, 230, 20, 20)}, 1);
    ScriptedPeer peer;
    connectAndStream(peer);
    peer.send(f5Header64Packet(red.packets[0], 951782400, 0, true));
    ASSERT_TRUE(renderer.waitFor(1));
    peer.close();
    ASSERT_TRUE(waitUntil([&] { return !owner.ends().empty(); }));
    EXPECT_TRUE(session.linkEnded());
    EXPECT_EQ(session.linkEnd().cause, LinkEndCause::PeerClosed);
    EXPECT_EQ(session.infoLine(), "Connection closed by the recorder");
    EXPECT_EQ(status(), kStatusDisconnect);
    EXPECT_EQ(session.shared().threadState.load(), kLinkReady);

    // Started again, the same session connects anew and streams.
    window.run([&] { session.startLink(); });
    EXPECT_FALSE(session.linkEnded());
    ASSERT_TRUE(peer.accept());
    peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
    ASSERT_EQ(peer.nextCode(), COMMAND_LOGIN_REQ);
    peer.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
    ASSERT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    peer.send(commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK));
    ASSERT_TRUE(waitUntil([&] { return status() == kStatusDataSendOk; }));
    peer.send(f5Header64Packet(red.packets[0], 951782401, 0, true));
    ASSERT_TRUE(renderer.waitFor(2));
    disconnect();
}

TEST_F(VideoSessionTest, ASetOfSeveralWhoseDecodeWorkersCannotStartIsRefused) {
    struct : ChannelEvents {
        void picture(int, const ChannelPicture&) override {}
    } quiet;
    session.setChannelEvents(&quiet);
    const ChannelSet four = *parseChannelList("1-4");
    const auto setChannels = [&](bool workersFail) {
        bool shown = false;
        window.run([&] {
            FailingObjectAllocation failing(workersFail ? sizeof(DecodeWorkers) : 0);
            shown = session.setChannels(four);
        });
        return shown;
    };
    ASSERT_EQ(setUpSession(), VideoSession::SetUpResult::Started);
    EXPECT_FALSE(setChannels(true));
    EXPECT_EQ(session.channels().text(), "");  // the set from before stays
    EXPECT_TRUE(setChannels(false));
    EXPECT_EQ(session.channels().text(), "1,2,3,4");
    window.run([&] { session.tearDown(); });

    // Asked for before the set-up: the set-up fails.
    VideoSession::SetUpResult result{};
    window.run([&] {
        FailingObjectAllocation failing(sizeof(DecodeWorkers));
        result = session.setUp(record, renderers);
    });
    EXPECT_EQ(result, VideoSession::SetUpResult::Failed);
    EXPECT_TRUE(session.setUpFailed());
    EXPECT_FALSE(session.threadsRunning());
}
