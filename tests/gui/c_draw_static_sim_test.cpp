// The video window against the recorder simulator: live pictures of the
// chosen channel with their overlay, a channel change, disconnect and a
// second connection on the same window; a recorder that resets the
// connection while the picture runs, and one that is not there at all. With ORVIX_SCREENSHOT_DIR set, the
// window is also saved as video_window.png (live picture) and
// video_window_status.png (logo and status line) in that directory.
#include <gtest/gtest.h>

#include <QDir>
#include <QMessageBox>
#include <QString>
#include <memory>
#include <string>

#include "tests/gui/video_window_fixture.h"
#include "tools/recorder_sim/picture_painter.h"
#include "tools/recorder_sim/recorder_simulator.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace orvix;
using namespace orvix::test;

namespace {

const QRect kPictureArea(20, 100, 360, 180);  // below the overlay rows
const QRgb kOverlayLiveBlue = qRgb(0, 0, 255);

class SimulatorWindowTest : public VideoWindowTest {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_QUIET);
        VideoWindowTest::SetUp();
        sim::SimOptions options;
        options.modelCode = kModelCode11;
        options.echoIntervalSeconds = 0;
        simulator = std::make_unique<sim::RecorderSimulator>(options);
        simulator->setNoticeSink([](const std::string&) {});
        std::string error;
        ASSERT_TRUE(simulator->start(&error)) << error;
        record->port = simulator->port();
        setText(record->account, u"admin");
        setText(record->password, u"1234");
    }
    void TearDown() override {
        VideoWindowTest::TearDown();
        simulator->stop();
    }

    void connectToSimulator() {
        ASSERT_EQ(connect(), 1);
        ASSERT_EQ(send(VWM_LINK_START), 1);
        ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    }
    // Most of the picture area in the colour of `channel`'s camera.
    bool showsChannel(int channel) {
        if (!pictureShown()) return false;
        const sim::Rgb c = sim::channelColour(channel);
        return countColour(grab(), kPictureArea, qRgb(c.r, c.g, c.b), 30) >
               kPictureArea.width() * kPictureArea.height() / 3;
    }
    void saveScreenshot(const QString& name) {
        const QString directory = qEnvironmentVariable("ORVIX_SCREENSHOT_DIR");
        if (directory.isEmpty()) return;
        QDir().mkpath(directory);
        EXPECT_TRUE(grab().save(QDir(directory).filePath(name)));
    }

    std::unique_ptr<sim::RecorderSimulator> simulator;
};

}  // namespace

TEST_F(SimulatorWindowTest, LivePicturesOfTheChosenChannelThenDisconnectAndConnectAgain) {
    window->setIFrameOnly(0);  // every picture, not only the key pictures
    connectToSimulator();
    EXPECT_EQ(owner.count(VWM_CONNECTED), 1u);
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
    // The overlay's first row (live) in blue, the others in yellow.
    QImage shot = grab();
    EXPECT_GT(countColour(shot, QRect(0, 0, 200, 18), kOverlayLiveBlue, 60), 10);
    EXPECT_GT(countColour(shot, QRect(0, 18, 200, 40), kInfoYellow, 60), 10);

    if (!qEnvironmentVariableIsEmpty("ORVIX_SCREENSHOT_DIR")) {
        RecordProperty("rendererFlag", window->rendererFlag());
        // A picture drawn after the first 4-second period, so that its
        // overlay shows the frame rate.
        ASSERT_TRUE(processUntil([&] { return window->session().shared().framesPerSecond.load() > 0; }));
        const uint64_t serial = window->output().handOver().latest().serial;
        ASSERT_TRUE(processUntil([&] { return window->output().handOver().latest().serial > serial + 1; }));
        ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
        saveScreenshot(QStringLiteral("video_window.png"));
        send(VWM_REFRESH);
        saveScreenshot(QStringLiteral("video_window_status.png"));
    }

    record->currentChannel = 2;
    EXPECT_EQ(send(VWM_SET_CHANNEL, 2, 0), 1);
    ASSERT_TRUE(processUntil([&] { return showsChannel(2); }));

    const qint64 took = disconnect();
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 30000);  // a hang guard
    expectTornDown();

    // The same window connects again, to the channel the record names.
    connectToSimulator();
    EXPECT_EQ(owner.count(VWM_CONNECTED), 2u);
    ASSERT_TRUE(processUntil([&] { return showsChannel(2); }));
    disconnect();
    expectTornDown();
    EXPECT_EQ(simulator->sessions(), 2);
}

TEST_F(SimulatorWindowTest, ResetWhileStreamingShowsTheCauseOnceAndConnectWorksAgain) {
    sim::SimOptions options = simulator->options();
    options.faults.resetAfter = 30;
    sim::RecorderSimulator resetting(options);
    resetting.setNoticeSink([](const std::string&) {});
    std::string error;
    ASSERT_TRUE(resetting.start(&error)) << error;
    record->port = resetting.port();
    std::vector<std::pair<int, QString>> ends;
    QObject::connect(window.get(), &C_DrawStatic::connectionEnded,
                     [&](int cause, const QString& text) { ends.emplace_back(cause, text); });

    window->setIFrameOnly(0);
    connectToSimulator();
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
    ASSERT_TRUE(processUntil([&] { return !ends.empty(); }));
    EXPECT_EQ(ends[0].first, static_cast<int>(LinkEndCause::Reset));
    EXPECT_EQ(ends[0].second, "Connection reset by the recorder");
    // No frozen picture claiming "Data Send OK": the logo, "Disconnect" and
    // the cause.
    EXPECT_EQ(window->session().statusLine(), "Disconnect");
    EXPECT_EQ(infoLine(), "Connection reset by the recorder");
    QMessageBox* box = window->networkErrorBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), "Network Error occurred");
    // Pictures still waiting in the ring are not drawn over it, and the user
    // is told once.
    processUntil([] { return false; }, 600);
    EXPECT_FALSE(pictureShown());
    EXPECT_GT(countColour(grab(), kInfoArea, kInfoYellow, 60), 10);
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(window->networkErrorBox(), box);
    // Commands of the dead link are not sent.
    EXPECT_EQ(send(VWM_PTZ, 1, 0), 1);
    processUntil([] { return false; }, 200);
    EXPECT_EQ(resetting.log().count("PTZ"), 0u);
    box->close();

    // Disconnect, then Connect: the next session streams again.
    disconnect();
    expectTornDown();
    EXPECT_TRUE(infoLine().empty());
    connectToSimulator();
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
    disconnect();
    EXPECT_EQ(resetting.sessions(), 2);
}

TEST_F(SimulatorWindowTest, RefusedConnectSaysConnectFailWithTheReason) {
    const uint16_t port = simulator->port();
    simulator->stop();
    record->port = port;
    ASSERT_EQ(connect(), 1);
    ASSERT_EQ(send(VWM_LINK_START), 1);
    ASSERT_TRUE(processUntil([&] { return status() == kStatusConnectFail; }));
    EXPECT_EQ(window->session().statusLine(), "Connect FAIL");
    EXPECT_EQ(infoLine(), "Connection refused by 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(window->session().linkEnd().cause, LinkEndCause::ConnectRefused);
    // Red status text and the yellow reason over the logo; no box.
    ASSERT_TRUE(processUntil([&] { return countColour(grab(), kStatusArea, kStatusRedText, 60) > 10; }));
    EXPECT_GT(countColour(grab(), kInfoArea, kInfoYellow, 60), 10);
    EXPECT_EQ(window->networkErrorBox(), nullptr);
    disconnect();
    expectTornDown();
}
