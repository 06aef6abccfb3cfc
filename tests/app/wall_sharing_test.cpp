// The main window and the wall open together on one recorder: the wall's
// cameras ride on the main window's connection (one connection, one login),
// camera control from the wall goes over it, and the wall connects on its
// own once the main window disconnects.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/main_dialog_ids.h"
#include "app/viewer_settings.h"
#include "app/wall_sharing.h"
#include "app/wall_window.h"
#include "gui/c_draw_static.h"
#include "link/link_status.h"
#include "tests/app/main_dialog_support.h"
#include "tools/recorder_sim/recorder_simulator.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class WallSharingTest : public MainDialogTest {
protected:
    void TearDown() override {
        sharing.reset();
        wall.reset();
        recorders.reset();
        MainDialogTest::TearDown();
        simulator.reset();
    }
    bool tileShows(int tile, int channel) {
        WallView* view = wall->view();
        const QRect picture = view->pictureRect(tile);
        return !picture.isEmpty() && inChannelColour(view->grab().toImage(), picture.adjusted(10, picture.height() * 3 / 5, -10, -10), channel);
    }
    size_t connections() { return simulator->log().count("CLIENT connected"); }

    std::unique_ptr<sim::RecorderSimulator> simulator;
    std::unique_ptr<WallRecorders> recorders;
    std::unique_ptr<WallWindow> wall;
    std::unique_ptr<WallSharing> sharing;
};

TEST_F(WallSharingTest, ARecorderShownInBothWindowsKeepsOneConnection) {
    sim::SimOptions options;
    options.channels = 4;
    options.framesPerSecond = 10;
    options.loopSeconds = 1;
    options.echoIntervalSeconds = 0;
    simulator = std::make_unique<sim::RecorderSimulator>(options);
    simulator->setNoticeSink([](const std::string&) {});
    std::string error;
    ASSERT_TRUE(simulator->start(&error)) << error;
    store({{1, u"Gate", u"127.0.0.1", simulator->port()}});
    ViewerSettings settings = ViewerSettings::load();
    settings.iframeOnly = false;
    ASSERT_TRUE(settings.save());
    open();
    dialog->show();
    auto answer = answerNextBox(QMessageBox::Ok);
    click(kConnect);
    ASSERT_TRUE(processUntil([&] { return linkStatus() == kStatusDataSendOk; }));

    recorders = std::make_unique<WallRecorders>();
    wall = std::make_unique<WallWindow>(*recorders, dialog->deviceList());
    sharing = std::make_unique<WallSharing>(*dialog, *recorders);
    wall->show();
    wall->setArrangement(WallArrangement::Four);
    for (int tile = 0; tile < 4; ++tile) wall->putCamera(tile, 1, tile);
    ASSERT_TRUE(processUntil([&] { return sharing->sharedRecorder() == 1; }));
    for (int tile = 0; tile < 4; ++tile) ASSERT_TRUE(processUntil([&] { return tileShows(tile, tile); }, 30000));
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=0,1,2,3"));
    EXPECT_EQ(connections(), 1u);
    EXPECT_EQ(simulator->log().count("LOGIN"), 1u);
    // The main window's single view goes on beside them.
    C_DrawStatic* video = dialog->videoWindow();
    EXPECT_TRUE(processUntil([&] {
        const QRect picture = video->pictureRect();
        return !picture.isEmpty() && inChannelColour(video->grab().toImage(), picture.adjusted(10, picture.height() * 3 / 5, -10, -10), 0);
    }, 20000));
    // Camera control from the wall, over the main window's connection.
    ASSERT_TRUE(wall->view()->selectTile(2));
    wall->findChild<QPushButton*>("WallPtz1")->click();
    EXPECT_TRUE(processUntil([&] { return simulator->log().count("PTZ channel=2 subcode=2") == 1; }));
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 0);

    // The main window disconnects: the wall's tiles come back on a
    // connection of the wall's own.
    click(kConnect);
    ASSERT_TRUE(processUntil([&] { return sharing->sharedRecorder() == 0; }));
    EXPECT_TRUE(processUntil([&] { return connections() == 2; }, 20000));
    for (int tile = 0; tile < 4; ++tile) EXPECT_TRUE(processUntil([&] { return tileShows(tile, tile); }, 30000));
}

}  // namespace
