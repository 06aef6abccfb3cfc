// A shown video window with a recording owner and a record for 127.0.0.1,
// and the steps the tests take with it.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <memory>
#include <string>

#include "core/device_record.h"
#include "gui/c_draw_static.h"
#include "link/command_codes.h"
#include "link/link_status.h"
#include "tests/gui/window_support.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"

namespace orvix::test {

inline constexpr uint32_t kModelCode11 = 11;  // model index 0: Wide commands, 64-byte headers, MPEG-4
inline const QRgb kWhite = qRgb(255, 255, 255);
inline const QRgb kStatusRedText = qRgb(255, 0, 0);
inline const QRgb kInfoYellow = qRgb(255, 255, 0);
inline const QRect kStatusArea(0, 0, 200, 18);
inline const QRect kInfoArea(0, 20, 300, 18);

class VideoWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        setText(record->name, u"Lobby");
        setText(record->address, u"127.0.0.1");
        record->useStatic = 1;
        window = std::make_unique<C_DrawStatic>();
        window->resize(400, 300);
        window->setOwner(&owner);
        window->show();
    }
    void TearDown() override {
        window.reset();
        destroyRecord(record);
    }

    LParam send(uint32_t message, WParam wParam = 0, LParam lParam = 0) {
        return window->sendMessage(message, wParam, lParam);
    }
    LParam connect() { return send(VWM_CONNECT, reinterpret_cast<WParam>(record)); }
    int status() const { return window->session().status(); }
    std::string infoLine() const { return window->session().infoLine(); }
    QImage grab() { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // VWM_DISCONNECT; returns how long it took.
    qint64 disconnect() {
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(send(VWM_DISCONNECT), 1);
        return timer.elapsed();
    }
    void expectTornDown() {
        EXPECT_FALSE(window->session().threadsRunning());
        EXPECT_EQ(window->session().connection(), nullptr);
        EXPECT_EQ(window->session().shared().threadState.load(), kLinkReady);
        EXPECT_EQ(status(), kStatusDisconnect);
        EXPECT_FALSE(window->ratesTimerActive());
        EXPECT_EQ(window->output().activeView(), nullptr);
    }

    // 1025 and 1026, then the recorder's side of the handshake up to
    // streaming (status 9); the window handles the link's messages meanwhile.
    void connectAndStream(ScriptedPeer& peer) {
        record->port = peer.port();
        ASSERT_EQ(connect(), 1);
        ASSERT_TRUE(window->session().threadsRunning());
        ASSERT_EQ(send(VWM_LINK_START), 1);
        bool answered = false;
        runWhileProcessing([&] {
            if (!peer.accept()) return;
            peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
            if (peer.nextCode() != COMMAND_LOGIN_REQ) return;
            peer.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
            if (peer.nextCode() != COMMAND_DATA_SEND_REQ) return;
            peer.send(commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK));
            answered = true;
        });
        ASSERT_TRUE(answered);
        ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    }
    bool pictureShown() {
        QWidget* view = window->output().activeView();
        return view != nullptr && view->isVisible();
    }

    DeviceRecord* record = nullptr;
    CapturingOwner owner;
    std::unique_ptr<C_DrawStatic> window;
};

}  // namespace orvix::test
