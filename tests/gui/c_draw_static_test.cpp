// The video window driven with its messages, as the main dialog and the link
// thread drive it, against a scripted recorder on the offscreen platform.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QMessageBox>
#include <atomic>
#include <thread>

#include "gui/status_line_painter.h"
#include "link/command_codes.h"
#include "link/wire_format.h"
#include "tests/gui/failing_allocation.h"
#include "tests/gui/video_window_fixture.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"
#include "tests/link/test_window.h"
#include "tests/support/test_stream.h"

using namespace orvix;
using namespace orvix::test;

TEST_F(VideoWindowTest, TableMessagesAnswerOneAndOthersGetNoHandling) {
    EXPECT_EQ(window->objectName(), QStringLiteral("C_DrawStatic"));
    EXPECT_EQ(window->iframeOnly(), 1);
    EXPECT_EQ(window->statistics(), 0);
    EXPECT_EQ(window->rendererFlag(), 0);
    EXPECT_EQ(window->setUpFailed(), 0);

    record->framingKind = 2;  // so that 1025 starts nothing
    const uint8_t range[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    const auto payload = reinterpret_cast<WParam>(range);
    for (uint32_t message = VWM_CONNECT; message <= VWM_CONNECTED; ++message) {
        if (message == VWM_DEVICE_SAVED || message == 1039) continue;
        const WParam wParam = message == VWM_CONNECT || message == VWM_CONNECTED ? reinterpret_cast<WParam>(record)
                              : message == VWM_RECORD_INFO || message == VWM_SEARCH_INFO ? payload
                                                                                          : 0;
        // Without video flowing no record information request goes out.
        EXPECT_EQ(send(message, wParam, 0), message == VWM_RECORD_INFO_REQ ? 0 : 1) << message;
    }
    for (uint32_t message : {uint32_t{VWM_DEVICE_SAVED}, 1039u, 1024u, 1044u, 0u, 0xFFFFFFFFu})
        EXPECT_EQ(send(message, reinterpret_cast<WParam>(record), 0), 0) << message;

    // Forwarded with the same parameters, read while handled.
    const auto got = owner.messages();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].message, VWM_RECORD_INFO);
    EXPECT_EQ(got[0].wParam, payload);
    EXPECT_EQ(got[0].first, 1u);
    EXPECT_EQ(got[0].second, 2u);
    EXPECT_EQ(got[1].message, VWM_SEARCH_INFO);
    EXPECT_EQ(got[2].message, VWM_RECORD_INFO_FAIL);
    EXPECT_EQ(got[2].wParam, 0u);
    EXPECT_EQ(got[3].message, VWM_CONNECTED);
    EXPECT_EQ(got[3].wParam, reinterpret_cast<WParam>(record));
    EXPECT_EQ(infoLine(), "Record info request fail..[No record data]");
}

TEST_F(VideoWindowTest, MessagesFromAnotherThreadRunOnTheGuiThreadAndTheSenderWaits) {
    std::atomic<bool> returned{false};
    LParam connected = 0;
    LParam saved = -1;
    std::thread sender([&] {
        connected = window->sendMessage(VWM_CONNECTED, reinterpret_cast<WParam>(record), 0);
        saved = window->sendMessage(VWM_DEVICE_SAVED, reinterpret_cast<WParam>(record), 0);
        returned = true;
    });
    // The GUI thread handles no events here: the message waits, so does its sender.
    ASSERT_TRUE(waitUntil([&] { return window->pendingMessages() == 1; }));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(owner.count(VWM_CONNECTED), 0u);

    ASSERT_TRUE(processUntil([&] { return returned.load(); }));
    sender.join();
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(saved, 0);
    const auto got = owner.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].onGuiThread);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WParam>(record));
}

TEST_F(VideoWindowTest, UnknownFramingKindCreatesNothingAndDisconnectReturnsAtOnce) {
    for (int framing : {2, -1}) {
        record->framingKind = framing;
        EXPECT_EQ(connect(), 1);
        EXPECT_FALSE(window->session().threadsRunning());
        EXPECT_EQ(window->session().connection(), nullptr);
        EXPECT_EQ(window->setUpFailed(), 0);
        EXPECT_FALSE(window->ratesTimerActive());
        send(VWM_LINK_START);
        EXPECT_NE(window->session().shared().threadState.load(), kLinkConnect);
        // No thread to wait for: far less than the one-second grace.
        EXPECT_LT(disconnect(), 1000);
        expectTornDown();
    }
}

TEST_F(VideoWindowTest, FailedAllocationSetsTheFlagUntilTheNextSetUpAndStartsNothing) {
    {
        FailingArrayAllocation failing(kSendPayloadSize);
        EXPECT_EQ(connect(), 1);
    }
    EXPECT_EQ(window->setUpFailed(), 1);
    EXPECT_FALSE(window->session().threadsRunning());
    EXPECT_FALSE(window->ratesTimerActive());
    EXPECT_LT(disconnect(), 1000);
    expectTornDown();

    // Each set-up reports its own outcome: one that works starts both
    // threads and clears the flag.
    EXPECT_EQ(connect(), 1);
    EXPECT_TRUE(window->session().threadsRunning());
    EXPECT_TRUE(window->ratesTimerActive());
    EXPECT_EQ(window->setUpFailed(), 0);
    disconnect();
    expectTornDown();
}

TEST_F(VideoWindowTest, StreamsPicturesOverTheStatusThenDisconnectsAndConnectsAgain) {
    const EncodedStream red = encodeImages("mpeg4", {solidImage(352, 288, 230, 20, 20)}, 1);
    const QRgb pictureRed = qRgb(230, 20, 20);
    const QRect pictureArea(100, 150, 200, 100);  // below the overlay rows
    const int baseThreads = threadCount();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ScriptedPeer peer;
        connectAndStream(peer);
        EXPECT_EQ(threadCount(), baseThreads + 2);  // the link and display threads
        EXPECT_TRUE(window->ratesTimerActive());
        ASSERT_EQ(owner.count(VWM_CONNECTED), static_cast<size_t>(round) + 1);
        EXPECT_EQ(owner.messages().back().wParam, reinterpret_cast<WParam>(record));
        EXPECT_TRUE(owner.messages().back().onGuiThread);

        // No picture yet: logo and the status line of status 9 in red.
        EXPECT_FALSE(pictureShown());
        QImage shot = grab();
        EXPECT_GT(countColour(shot, kStatusArea, kStatusRedText), 20);
        EXPECT_EQ(countColour(shot, pictureArea, pictureRed), 0);

        runWhileProcessing([&] { peer.send(f5Header64Packet(red.packets[0], 951782400, 0, true)); });
        ASSERT_TRUE(processUntil([&] { return pictureShown(); }));
        shot = grab();
        EXPECT_GT(countColour(shot, pictureArea, pictureRed), pictureArea.width() * pictureArea.height() * 9 / 10);
        // The status line stays readable along the bottom edge, over the
        // picture: its light grey shadow shows there, not at the top.
        const QRect bottom(0, shot.height() - 38, 200, 18);
        EXPECT_GT(countColour(shot, bottom, qRgb(0xC8, 0xC8, 0xC8), 10), 20);
        EXPECT_EQ(countColour(shot, kStatusArea, qRgb(0xC8, 0xC8, 0xC8), 10), 0);
        // Beneath the picture the window itself paints nothing: its logo and
        // lines would be drawn again, unseen, with every picture.
        const QRgb untouched = qRgb(201, 0, 203);
        QImage own(window->size(), QImage::Format_RGB32);
        own.fill(untouched);
        window->render(&own, QPoint(), QRegion(), QWidget::RenderFlags());
        EXPECT_EQ(countColour(own, own.rect(), untouched, 0), own.width() * own.height());

        // A refresh shows the logo and the status until the next picture.
        EXPECT_EQ(send(VWM_REFRESH), 1);
        EXPECT_FALSE(pictureShown());
        EXPECT_EQ(countColour(grab(), pictureArea, pictureRed), 0);
        runWhileProcessing([&] { peer.send(f5Header64Packet(red.packets[0], 951782401, 0, true)); });
        ASSERT_TRUE(processUntil([&] { return pictureShown(); }));

        // The link stops after the one-second grace, and everything goes.
        const qint64 took = disconnect();
        EXPECT_GE(took, 1000);
        EXPECT_LT(took, 30000);  // a hang guard
        expectTornDown();
        EXPECT_EQ(threadCount(), baseThreads);
        shot = grab();
        EXPECT_GT(countColour(shot, kStatusArea, kWhite, 10), 20);  // "Disconnect"
        EXPECT_EQ(countColour(shot, kStatusArea, kStatusRedText), 0);
        EXPECT_EQ(countColour(shot, pictureArea, pictureRed), 0);
    }
}

TEST_F(VideoWindowTest, RecordRepliesSetTheInfoLineAndReachTheOwnerWhileValid) {
    ScriptedPeer peer;
    connectAndStream(peer);
    EXPECT_EQ(send(VWM_RECORD_INFO_REQ), 1);  // it went out
    EXPECT_EQ(infoLine(), "Record Info Request..");
    bool requested = false;
    runWhileProcessing([&] {
        requested = peer.nextCode() == COMMAND_DATA_SEND_REQ && peer.nextCode() == COMMAND_RECORD_INFO_REQ;
        peer.send(commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(1000, 2000)));
    });
    EXPECT_TRUE(requested);
    ASSERT_TRUE(processUntil([&] { return owner.count(VWM_RECORD_INFO) == 1; }));
    auto got = owner.messages().back();
    EXPECT_EQ(got.lParam, 1);
    EXPECT_EQ(got.first, 1000u);
    EXPECT_EQ(got.second, 2000u);
    EXPECT_TRUE(got.onGuiThread);
    EXPECT_EQ(infoLine(), "Record info receive..");
    EXPECT_GT(countColour(grab(), kInfoArea, kInfoYellow), 20);

    runWhileProcessing([&] { peer.send(commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(5, 5))); });
    ASSERT_TRUE(processUntil([&] { return owner.count(VWM_RECORD_INFO_FAIL) == 1; }));
    got = owner.messages().back();
    EXPECT_EQ(got.lParam, 0);
    EXPECT_EQ(got.first, 5u);
    EXPECT_EQ(infoLine(), "Record info request fail..[No record data]");

    runWhileProcessing([&] { peer.send(commandPacket(FramingKind::Wide, COMMAND_SEARCH_INFO, twoValues(10, 20))); });
    ASSERT_TRUE(processUntil([&] { return owner.count(VWM_SEARCH_INFO) == 1; }));
    EXPECT_EQ(owner.messages().back().second, 20u);
    EXPECT_EQ(infoLine(), "Record info request fail..[No record data]");

    disconnect();
    expectTornDown();
    EXPECT_TRUE(infoLine().empty());
}

TEST_F(VideoWindowTest, DisconnectWhileTheLinkWaitsInsideANotificationDoesNotDeadlock) {
    ScriptedPeer peer;
    record->port = peer.port();
    connect();
    send(VWM_LINK_START);
    runWhileProcessing([&] { ASSERT_TRUE(peer.accept()); });
    ASSERT_TRUE(processUntil([&] { return window->pendingMessages() == 0 && status() == kStatusConnectReq; }));

    // The GUI thread stops handling events: the link's next notification
    // (status 2) waits for it when the disconnect begins.
    peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
    ASSERT_TRUE(waitUntil([&] { return window->pendingMessages() == 1; }));
    const qint64 took = disconnect();
    EXPECT_LT(took, 30000);
    expectTornDown();
    // The window kept handling the link's messages while it waited.
    EXPECT_EQ(owner.count(VWM_CONNECTED), 1u);
}

TEST_F(VideoWindowTest, DisconnectAskedForInsideAForwardedNotificationHasRunWhenItReturns) {
    LParam nested = 0;
    bool tornDownOnReturn = false;
    owner.onMessage = [&](uint32_t message) {
        if (message != VWM_CONNECTED) return;
        // The link thread waits for this very notification; the disconnect
        // must still be done, not merely planned, when it returns.
        nested = window->sendMessage(VWM_DISCONNECT, 0, 0);
        tornDownOnReturn = window->session().connection() == nullptr && !window->session().threadsRunning();
    };
    ScriptedPeer peer;
    record->port = peer.port();
    connect();
    send(VWM_LINK_START);
    runWhileProcessing([&] {
        ASSERT_TRUE(peer.accept());
        peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
    });
    ASSERT_TRUE(processUntil([&] { return owner.count(VWM_CONNECTED) == 1; }));
    EXPECT_EQ(nested, 1);
    EXPECT_TRUE(tornDownOnReturn);
    expectTornDown();
    // The window goes on as usual: the next connection starts.
    EXPECT_EQ(connect(), 1);
    EXPECT_TRUE(window->session().threadsRunning());
    disconnect();
    expectTornDown();
}

TEST_F(VideoWindowTest, AConnectFromAnotherThreadDuringAStopWaitsUntilItHasRun) {
    ScriptedPeer peer;
    record->port = peer.port();
    connect();
    send(VWM_LINK_START);
    runWhileProcessing([&] { ASSERT_TRUE(peer.accept()); });
    ASSERT_TRUE(processUntil([&] { return window->pendingMessages() == 0 && status() == kStatusConnectReq; }));

    // The link's next notifications wait for the GUI thread, which handles
    // them only inside the disconnect below. While it does, another thread
    // asks for a new connection.
    std::atomic<bool> returned{false};
    std::atomic<int> stateOnReturn{-1};
    LParam result = 0;
    std::thread sender;
    owner.onMessage = [&](uint32_t message) {
        if (message != VWM_CONNECTED || sender.joinable()) return;
        sender = std::thread([&] {
            result = window->sendMessage(VWM_CONNECT, reinterpret_cast<WParam>(record), 0);
            stateOnReturn = window->session().shared().threadState.load();
            returned = true;
        });
        ASSERT_TRUE(waitUntil([&] { return window->pendingMessages() >= 1; }));
    };
    peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kModelCode11, 24)));
    ASSERT_TRUE(waitUntil([&] { return window->pendingMessages() == 1; }));
    disconnect();
    EXPECT_FALSE(returned.load());  // the stop is done; the connect has not run yet

    ASSERT_TRUE(processUntil([&] { return returned.load(); }));
    sender.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(stateOnReturn.load(), kLinkReady);  // set up, not the stop's states
    EXPECT_TRUE(window->session().threadsRunning());
    disconnect();
    expectTornDown();
}

TEST_F(VideoWindowTest, TheOverlayKeepsItsOwnCopyOfTheRecordersName) {
    connect();
    ASSERT_NE(window->session().connection(), nullptr);
    setText(record->name, u"Renamed while connected");
    EXPECT_EQ(window->session().connection()->display.name, u"Lobby");
    disconnect();
}

TEST_F(VideoWindowTest, ARecorderIsFreedWhenItsFileIsClosed) {
    ScriptedPeer peer;
    connectAndStream(peer);
    const std::string path = ::testing::TempDir() + "/orvix-freed.mp4";
    for (int round = 0; round < 3; ++round) {
        std::string error;
        ASSERT_TRUE(window->startRecording(path, error)) << error;
        EXPECT_EQ(window->recordingPart().recordersHeld(), 1u);
        window->stopRecording(error);  // nothing came to record: no file, still closed
        EXPECT_EQ(window->recordingPart().recordersHeld(), 0u);
    }
    disconnect();
}

TEST_F(VideoWindowTest, NetworkErrorBoxShowsOnTheGuiThreadWithoutWaitingForTheUser) {
    for (int i = 0; i < 2; ++i) {
        std::atomic<bool> returned{false};
        std::thread link([&] {
            window->showNetworkError();
            returned = true;
        });
        ASSERT_TRUE(processUntil([&] { return returned.load(); }));
        link.join();
    }
    QMessageBox* box = window->networkErrorBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->text(), QStringLiteral("Network Error occurred"));
    EXPECT_EQ(box->thread(), window->thread());
    // A second error while the box is open shows the same box.
    EXPECT_EQ(window->findChildren<QMessageBox*>().size(), 1);
    box->close();
    ASSERT_TRUE(processUntil([&] { return window->networkErrorBox() == nullptr; }));
}

TEST_F(VideoWindowTest, PaintsTheLogoStretchedUnderTheStatusLine) {
    const QImage logo = QImage(QStringLiteral(":/orvix/logo.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(logo.size(), QSize(400, 300));
    QImage shot = grab();
    ASSERT_EQ(shot.size(), QSize(400, 300));
    int same = 0;
    for (int y = 60; y < 300; y += 4)
        for (int x = 0; x < 400; x += 4) same += shot.pixel(x, y) == logo.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(same, 60 * 100);
    // "Disconnect" in white over its dark grey shadow; no info line.
    EXPECT_GT(countColour(shot, kStatusArea, kWhite, 10), 20);
    EXPECT_GT(countColour(shot, kStatusArea, qRgb(100, 100, 100), 10), 5);
    EXPECT_EQ(countColour(shot, kInfoArea, kInfoYellow), 0);

    window->session().setInfoLine("Search start ...");
    shot = grab();
    EXPECT_GT(countColour(shot, kInfoArea, kInfoYellow), 20);
    EXPECT_GT(countColour(shot, kInfoArea, qRgb(50, 50, 50), 10), 5);

    // Smaller window: the whole logo shrinks into it (its red dot follows).
    window->resize(240, 180);
    shot = grab();
    ASSERT_EQ(shot.size(), QSize(240, 180));
    const QRgb dot = logo.pixel(235, 92);
    EXPECT_EQ(shot.pixel(235 * 240 / 400, 92 * 180 / 300), dot);

    // The usual status lines fit a 240-pixel-wide window.
    const QFontMetrics metrics(statusLineFont());
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Data Send OK [25fps][200byte]")) + 2, 240);
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Connect FAIL - Model Mismatch")) + 2, 240);
}

TEST_F(VideoWindowTest, ResizingWhileConnectedResizesThePictureAtOnce) {
    // The window grows and shrinks with the main window: the views follow.
    ASSERT_EQ(connect(), 1);
    ASSERT_NE(window->output().activeView(), nullptr);
    EXPECT_EQ(window->output().activeView()->geometry(), QRect(0, 0, 400, 300));
    window->resize(240, 180);
    EXPECT_EQ(window->output().activeView()->geometry(), QRect(0, 0, 240, 180));
    disconnect();
    ASSERT_EQ(connect(), 1);
    EXPECT_EQ(window->output().activeView()->geometry(), QRect(0, 0, 240, 180));
    disconnect();
}

TEST_F(VideoWindowTest, DestroyingAConnectedWindowEndsItsThreads) {
    const int baseThreads = threadCount();
    ScriptedPeer peer;
    connectAndStream(peer);
    EXPECT_EQ(threadCount(), baseThreads + 2);
    window.reset();
    EXPECT_EQ(threadCount(), baseThreads);
}
