// The link thread against a scripted recorder (and DDNS server) on loopback,
// a test window that handles its notifications on a thread of its own, and a
// test display side that takes packets from the ring.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/command_codes.h"
#include "link/link_status.h"
#include "link/link_stop.h"
#include "link/link_thread.h"
#include "link/recorder_connection.h"
#include "tests/link/ring_consumer.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"
#include "tests/link/test_window.h"

namespace orvix::test {

// The decoder opener the link calls on its own thread after
// COMMAND_CONNECT_OK; it notes how long a send may wait there.
class SendWaitProbe : public DecoderOpener {
public:
    explicit SendWaitProbe(const RecorderConnection& connection) : connection_(connection) {}
    int openDecoder(int, int, DeviceRecord&) override {
        linkThreadSendWaitMs.store(connection_.sendWaitMs());
        return 1;
    }
    std::atomic<int> linkThreadSendWaitMs{0};

private:
    const RecorderConnection& connection_;
};

class LinkSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        setText(record->account, u"admin");
        setText(record->password, u"secret");
        setText(record->address, u"127.0.0.1");
        setText(record->ddnsId, u"REC01");
        record->port = recorder.port();
        record->useStatic = 1;
        record->modelIndex = 0;

        // What the window does at set-up (message 1025).
        connection.record = record;
        connection.shared = &shared;
        connection.notifier = &window;
        connection.decoder = &decoderProbe;
        connection.infoLine = &infoLine;
        ASSERT_TRUE(connection.allocateBuffers());
        ASSERT_TRUE(connection.socket.create());
        connection.resync = 1;
        shared.iframeOnly = 0;
        shared.threadState = kLinkReady;
        window.attach(&connection);
        ASSERT_TRUE(link.start());
        consumer.start();
        connection.ring.signalSlotFree();
    }

    void TearDown() override {
        if (link.joinable()) stop();
        consumer.stop();
        destroyRecord(record);
    }

    // The disconnect, run on the window thread as the window runs it.
    void stop() {
        window.run([this] { stopLink(shared, &connection, &link, [this](int ms) { window.pumpFor(ms); }); });
    }

    int status() const { return connection.status.load(); }
    // Until the window has handled the refresh for this status.
    bool waitStatus(int value) {
        return waitUntil([this, value] {
            const auto statuses = window.refreshStatuses();
            return status() == value && !statuses.empty() && statuses.back() == value;
        });
    }
    bool waitPackets(size_t count) {
        return waitUntil([this, count] { return consumer.packetCount() >= count; });
    }

    // Connect, log in and start the data (recorder model code 11: Wide).
    void bringUp(FramingKind framing = FramingKind::Wide, uint32_t modelCode = 11) {
        shared.threadState = kLinkConnect;  // message 1026
        ASSERT_TRUE(recorder.accept());
        ASSERT_TRUE(recorder.send(commandPacket(framing, COMMAND_CONNECT_OK, description(modelCode, 11))));
        ASSERT_EQ(recorder.nextCode(), COMMAND_LOGIN_REQ);
        ASSERT_TRUE(recorder.send(commandPacket(framing, COMMAND_LOGIN_OK, loginOkPayload(0x1F))));
        ASSERT_EQ(recorder.nextCode(), COMMAND_DATA_SEND_REQ);
        ASSERT_TRUE(recorder.send(commandPacket(framing, COMMAND_DATA_SEND_OK)));
        ASSERT_TRUE(waitStatus(kStatusDataSendOk));
    }

    Bytes stream(int first, int count, const VideoParams& base = {}) {
        Bytes out;
        for (int i = first; i < first + count; ++i) {
            VideoParams params = base;
            params.tag = static_cast<uint8_t>(i);
            const Bytes p = videoPacket(params);
            out.insert(out.end(), p.begin(), p.end());
        }
        return out;
    }
    std::vector<int> tags() const {
        std::vector<int> out;
        for (const auto& p : consumer.packets()) out.push_back(p.size() > 32 ? p[32] : -1);
        return out;
    }

    ScriptedPeer recorder;
    TestWindow window;
    LinkShared shared;
    RecorderConnection connection;
    SendWaitProbe decoderProbe{connection};
    InfoLine infoLine;
    DeviceRecord* record = nullptr;
    LinkThread link{connection};
    RingConsumer consumer{connection.ring, shared};
};

inline std::vector<int> range(int first, int count) {
    std::vector<int> out;
    for (int i = first; i < first + count; ++i) out.push_back(i);
    return out;
}

}  // namespace orvix::test
