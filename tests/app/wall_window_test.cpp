// The wall against four recorder simulators in this process: cameras of all
// four in their tiles over one connection and one login each, a tile moved
// between recorders, a recorder that goes down and comes back while the
// others go on, a refused login, an unreachable recorder and a silent
// camera each said on their own tiles, layouts that survive a restart and
// follow the device list, a tour whose pages show pictures at once, and
// snapshot, recording and camera control of the selected tile. With
// ORVIX_SCREENSHOT_DIR set, screenshots of a 16-tile wall, of the wall with
// one recorder down and of a 1+7 layout go there (CTest
// wall_window_under_xvfb).
#include <gtest/gtest.h>

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QComboBox>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <vector>

#include "app/wall_window.h"
#include "core/text_codec.h"
#include "recording/recording_check.h"
#include "tests/app/main_dialog_support.h"
#include "tools/recorder_sim/recorder_simulator.h"

using namespace orvix;
using namespace orvix::test;

namespace {

constexpr uint32_t kFirstId = 101;

class WallWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(writeUserDirs(config.path(), pictures, videos));
        // A lost recorder is tried again after 200 ms, then 500 ms apart.
        qputenv("ORVIX_TEST_RECONNECT_MS", "200,500,3000");
    }
    void TearDown() override {
        window.reset();
        recorders.reset();
        simulators.clear();
        qunsetenv("ORVIX_TEST_RECONNECT_MS");
    }

    static uint32_t id(int recorder) { return kFirstId + static_cast<uint32_t>(recorder); }

    std::unique_ptr<sim::RecorderSimulator> simulator(sim::SimOptions options) {
        auto started = std::make_unique<sim::RecorderSimulator>(options);
        started->setNoticeSink([](const std::string&) {});
        std::string error;
        EXPECT_TRUE(started->start(&error)) << error;
        return started;
    }
    static sim::SimOptions options(uint16_t port = 0) {
        sim::SimOptions o;
        o.port = port;
        o.channels = 16;
        o.framesPerSecond = 10;
        o.loopSeconds = 1;
        o.echoIntervalSeconds = 0;
        return o;
    }
    // `count` recorders "Site 1" ... of 16 cameras each in the device list,
    // each on a simulator of its own; `tweak` changes one's options.
    void startRecorders(int count, const std::function<void(int, sim::SimOptions&)>& tweak = {}) {
        for (int i = 0; i < count; ++i) {
            sim::SimOptions o = options();
            if (tweak) tweak(i, o);
            simulators.push_back(simulator(o));
            DeviceRecord* record = createRecord();
            record->id = id(i);
            setText(record->name, fromUtf8("Site " + std::to_string(i + 1)));
            setText(record->account, u"admin");
            setText(record->password, u"1234");
            record->useStatic = 1;
            setText(record->address, u"127.0.0.1");
            record->port = simulators.back()->port();
            devices.append(record);
        }
    }
    void openWall(WallArrangement arrangement = WallArrangement::Four) {
        recorders = std::make_unique<WallRecorders>();
        window = std::make_unique<WallWindow>(*recorders, devices);
        window->resize(1200, 900);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->setArrangement(arrangement);
    }
    WallView* view() { return window->view(); }

    // A camera dropped on a tile as from the list on the left.
    void drop(int tile, uint32_t recorderId, int camera) {
        std::unique_ptr<QMimeData> data(wallCameraMimeData(recorderId, camera));
        const QPoint at = view()->tileRect(tile).center();
        // Entered first: the drop goes to the widget that took the drag.
        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view(), &enter);
        QDropEvent event(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view(), &event);
    }
    // The lower middle of a picture, below its overlay.
    static QRect below(const QRect& picture) {
        return QRect(picture.x() + picture.width() / 8, picture.y() + picture.height() * 3 / 5, picture.width() * 3 / 4,
                     picture.height() / 4);
    }
    bool tileShows(int tile, int channel) {
        const QRect picture = view()->pictureRect(tile);
        return !picture.isEmpty() && inChannelColour(view()->grab().toImage(), below(picture), channel);
    }
    uint64_t serial(int tile) { return window->page()->feed().latest(tile).serial; }
    QString words(int tile) { return window->page()->words(tile).text; }
    size_t requests(int recorder) { return simulators[static_cast<size_t>(recorder)]->log().count("DATA_SEND_REQ"); }

    ConfigDirectory config;
    QString pictures;
    QString videos;
    DeviceList devices;
    std::vector<std::unique_ptr<sim::RecorderSimulator>> simulators;
    std::unique_ptr<WallRecorders> recorders;
    std::unique_ptr<WallWindow> window;
};

TEST_F(WallWindowTest, SixteenCamerasOfFourRecordersOverFourConnectionsAndOneRecorderDownAndBack) {
    startRecorders(4);
    openWall(WallArrangement::Sixteen);
    // Recorder k's cameras 4k .. 4k+3 in tiles 4k .. 4k+3: sixteen colours.
    for (int tile = 0; tile < 16; ++tile) drop(tile, id(tile / 4), tile);
    for (int tile = 0; tile < 16; ++tile) {
        ASSERT_TRUE(processUntil([&] { return tileShows(tile, tile); }, 30000)) << "tile " << tile;
    }
    for (int k = 0; k < 4; ++k) {
        const sim::CommandLog& log = simulators[static_cast<size_t>(k)]->log();
        EXPECT_EQ(log.count("CLIENT connected"), 1u) << k;
        EXPECT_EQ(log.count("LOGIN"), 1u) << k;
        const std::string set = std::to_string(4 * k) + "," + std::to_string(4 * k + 1) + "," +
                                std::to_string(4 * k + 2) + "," + std::to_string(4 * k + 3);
        EXPECT_TRUE(log.waitFor("DATA_SEND_REQ flag=0 channels=" + set)) << k;
    }
    EXPECT_EQ(view()->textsFor(5).title, "Site 2 CH 06");
    EXPECT_FALSE(view()->textsFor(5).time.isEmpty());
    saveScreenshot(window.get(), "wall_16_tiles.png");

    // Recorder 2 goes away: its tiles say so, the others keep changing.
    const uint16_t port = simulators[1]->port();
    simulators[1]->stop();
    for (int tile = 4; tile < 8; ++tile) {
        ASSERT_TRUE(processUntil([&] {
            return words(tile).startsWith("Reconnecting in ") || words(tile).startsWith("Recorder unreachable: ");
        })) << words(tile).toStdString();
    }
    std::vector<uint64_t> before;
    for (int tile = 0; tile < 16; ++tile) before.push_back(serial(tile));
    for (int tile : {0, 3, 8, 11, 12, 15}) {
        EXPECT_TRUE(processUntil([&] { return serial(tile) >= before[static_cast<size_t>(tile)] + 5; }, 10000));
        EXPECT_TRUE(words(tile).isEmpty()) << words(tile).toStdString();
    }
    saveScreenshot(window.get(), "wall_recorder_down.png");

    // Back on its port: its tiles show pictures again by themselves.
    simulators[1] = simulator(options(port));
    for (int tile = 4; tile < 8; ++tile) {
        EXPECT_TRUE(processUntil([&] { return tileShows(tile, tile); }, 30000)) << "tile " << tile;
    }
    EXPECT_EQ(simulators[1]->log().count("LOGIN"), 1u);
}

TEST_F(WallWindowTest, ATileMovedToAnotherRecorderChangesBothChannelSetsWithOneRequestEach) {
    startRecorders(2);
    openWall();
    drop(0, id(0), 0);
    drop(1, id(0), 1);
    // From the list: a camera chosen for the selected tile (of the four
    // its model has: the recorder has not reported its sixteen yet).
    ASSERT_TRUE(view()->selectTile(2));
    QTreeWidget* tree = window->recorderTree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    ASSERT_EQ(tree->topLevelItem(1)->childCount(), 4);
    tree->setCurrentItem(tree->topLevelItem(1)->child(2));
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(window->page()->tile(2), (WallTileChoice{id(1), "Site 2", 2}));
    for (int tile : {0, 1, 2}) ASSERT_TRUE(processUntil([&] { return tileShows(tile, tile); }, 30000));
    // Once logged in, the list offers the cameras it reported.
    EXPECT_TRUE(processUntil([&] { return tree->topLevelItem(1)->childCount() == 16; }, 5000));
    ASSERT_TRUE(simulators[0]->log().waitFor("DATA_SEND_REQ flag=0 channels=0,1"));
    const size_t first = requests(0);
    const size_t second = requests(1);

    drop(1, id(1), 5);
    EXPECT_TRUE(simulators[0]->log().waitFor("DATA_SEND_REQ flag=0 channels=0"));
    EXPECT_TRUE(simulators[1]->log().waitFor("DATA_SEND_REQ flag=0 channels=2,5"));
    EXPECT_TRUE(processUntil([&] { return tileShows(1, 5); }, 30000));
    QTest::qWait(1500);  // past the grace a channel left keeps
    EXPECT_EQ(requests(0), first + 1);
    EXPECT_EQ(requests(1), second + 1);
    EXPECT_EQ(simulators[0]->log().count("CLIENT connected"), 1u);
    EXPECT_EQ(simulators[1]->log().count("CLIENT connected"), 1u);
}

TEST_F(WallWindowTest, EachFailingRecorderSaysWhyOnItsOwnTilesWhileTheOthersGoOn) {
    startRecorders(4, [](int i, sim::SimOptions& o) {
        if (i == 1) o.password = "other";          // refuses the login
        if (i == 2) {
            o.faults.silentChannel = 1;  // camera 1 stops after a second
            o.echoIntervalSeconds = 1;   // the connection itself stays alive
        }
    });
    const uint16_t away = simulators[3]->port();
    simulators[3]->stop();  // nothing listens there
    openWall();
    for (int tile = 0; tile < 4; ++tile) drop(tile, id(tile), 0);
    ASSERT_TRUE(processUntil([&] { return words(1) == "Login refused"; }));
    ASSERT_TRUE(processUntil([&] {
        return words(3) == QString("Recorder unreachable: Connection refused by 127.0.0.1:%1").arg(away);
    }));
    EXPECT_TRUE(window->page()->words(3).detail.startsWith("Trying again in "));
    ASSERT_TRUE(processUntil([&] { return words(2).startsWith("No video for "); }, 20000));
    const uint64_t before = serial(0);
    EXPECT_TRUE(processUntil([&] { return serial(0) >= before + 5; }, 10000));
    EXPECT_TRUE(words(0).isEmpty());
    EXPECT_EQ(simulators[1]->log().count("LOGIN"), 1u);  // never tried again
}

TEST_F(WallWindowTest, LayoutsSurviveARestartAndFollowRenamesAndDeletions) {
    startRecorders(4);
    openWall(WallArrangement::OnePlusSeven);
    drop(0, id(0), 0);
    for (int tile = 1; tile < 8; ++tile) drop(tile, id(1 + (tile - 1) % 3), tile);
    ASSERT_TRUE(window->saveLayoutAs(" Shop "));
    for (int tile = 0; tile < 8; ++tile) ASSERT_TRUE(processUntil([&] { return tileShows(tile, tile); }, 30000));
    saveScreenshot(window.get(), "wall_1plus7.png");
    const WallLayout saved = window->shownLayout();
    EXPECT_EQ(saved.name, "Shop");

    window.reset();
    recorders.reset();
    setText(devices.findById(id(0))->name, u"Front");
    devices.removeFirstWithId(id(3));
    openWall();
    ASSERT_NE(window->settings().find("Shop"), nullptr);
    ASSERT_TRUE(window->showByName("Shop"));
    EXPECT_EQ(window->page()->arrangement(), WallArrangement::OnePlusSeven);
    EXPECT_EQ(window->page()->tile(0), (WallTileChoice{id(0), "Front", 0}));
    EXPECT_EQ(words(3), "Recorder Site 4 is not in the device list");
    EXPECT_TRUE(processUntil([&] { return tileShows(0, 0) && tileShows(1, 1); }, 30000));
    EXPECT_EQ(view()->textsFor(0).title, "Front CH 01");
    EXPECT_FALSE(window->showByName("Nowhere"));
}

TEST_F(WallWindowTest, ATourShowsEachPageWithPicturesWithinASecondOfItsTurn) {
    startRecorders(3);
    openWall();
    for (int k = 0; k < 3; ++k) {
        for (int tile = 0; tile < 4; ++tile) drop(tile, id(k), 4 * k + tile);
        ASSERT_TRUE(window->saveLayoutAs(QString("Page %1").arg(k + 1)));
    }
    // From the layout shown, the last saved.
    ASSERT_TRUE(window->startTour(5));
    EXPECT_EQ(window->tour().page(), 2);
    ASSERT_NE(window->nextPage(), nullptr);
    // Round to the first page and on to the second.
    for (int turn = 1; turn <= 2; ++turn) {
        const int page = (2 + turn) % 3;
        ASSERT_TRUE(processUntil([&] { return window->tour().page() == page; }, 10000)) << turn;
        QElapsedTimer since;
        since.start();
        ASSERT_TRUE(processUntil([&] {
            for (int tile = 0; tile < 4; ++tile) {
                if (!tileShows(tile, 4 * page + tile)) return false;
            }
            return true;
        }, 10000));
        EXPECT_LT(since.elapsed(), 1000) << "turn " << turn;
        EXPECT_EQ(window->shownLayout().name, QString("Page %1").arg(page + 1));
    }
}

TEST_F(WallWindowTest, SnapshotRecordingAndCameraControlActOnTheSelectedTile) {
    startRecorders(1);
    openWall();
    drop(0, id(0), 0);
    drop(3, id(0), 9);
    ASSERT_TRUE(processUntil([&] { return tileShows(3, 9); }, 30000));
    // A recorder dropped: its cameras, in order, into the free tiles.
    drop(2, id(0), -1);
    EXPECT_EQ(window->page()->tile(1), (WallTileChoice{id(0), "Site 1", 0}));
    EXPECT_EQ(window->page()->tile(2), (WallTileChoice{id(0), "Site 1", 1}));
    EXPECT_EQ(window->page()->tile(3), (WallTileChoice{id(0), "Site 1", 9}));
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, view()->tileRect(3).center());
    EXPECT_EQ(view()->selectedTile(), 3);

    // Ctrl+S: the picture as the camera sends it, in its display shape.
    QTest::keyClick(view(), Qt::Key_S, Qt::ControlModifier);
    const QStringList shots = QDir(pictures + "/ORVIX").entryList({"*.png"}, QDir::Files);
    ASSERT_EQ(shots.size(), 1) << window->statusText().toStdString();
    EXPECT_TRUE(shots[0].startsWith("Site_1-CH10-"));
    const QImage shot(pictures + "/ORVIX/" + shots[0]);
    EXPECT_EQ(shot.size(), QSize(384, 288));
    EXPECT_TRUE(inChannelColour(shot, below(shot.rect()), 9));

    // Ctrl+R on and off: a playable file of that camera.
    QTest::keyClick(view(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(window->recording()) << window->statusText().toStdString();
    EXPECT_TRUE(view()->textsFor(3).recording);
    QTest::qWait(1500);
    QTest::keyClick(view(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(window->recording());
    const QStringList files = QDir(videos + "/ORVIX").entryList({"Site_1-CH10-*.mp4"}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << window->statusText().toStdString();
    std::string error;
    EXPECT_TRUE(hasPlayableVideo((videos + "/ORVIX/" + files[0]).toStdString(), error)) << error;

    // The panel's buttons: camera 10 of the one connection.
    window->findChild<QPushButton*>("WallPtz1")->click();
    EXPECT_TRUE(simulators[0]->log().waitFor("PTZ channel=9 subcode=2 preset=0"));
    window->findChild<QComboBox*>("WallPreset")->setCurrentIndex(15);
    window->findChild<QPushButton*>("WallPtz6")->click();
    EXPECT_TRUE(simulators[0]->log().waitFor("PTZ channel=9 subcode=17 preset=16"));

    // A tile alone and back, full screen and back; Escape never closes.
    QTest::mouseDClick(view(), Qt::LeftButton, Qt::NoModifier, view()->tileRect(3).center());
    EXPECT_EQ(view()->aloneTile(), 3);
    EXPECT_EQ(view()->tileRect(3), view()->rect());
    QTest::keyClick(view(), Qt::Key_F11);
    EXPECT_TRUE(window->fullScreenWall());
    QTest::keyClick(view(), Qt::Key_Escape);
    EXPECT_EQ(view()->aloneTile(), -1);
    EXPECT_TRUE(window->fullScreenWall());
    QTest::keyClick(view(), Qt::Key_Escape);
    EXPECT_FALSE(window->fullScreenWall());
    QTest::keyClick(view(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
