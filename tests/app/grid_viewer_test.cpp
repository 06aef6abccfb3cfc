// The grid in the main dialog against the recorder simulator program: four
// cameras in their quadrants from one request, a tile selected and shown
// alone and back, groups of a 16-camera recorder, the view remembered over
// a restart, playback of the whole grid, and tiles without pictures. With
// ORVIX_SCREENSHOT_DIR set the grid, its selected tile and the tile shown
// alone are saved there (CTest viewer_window_under_xvfb).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog_ids.h"
#include "app/viewer_settings.h"
#include "gui/c_draw_static.h"
#include "gui/grid_view.h"
#include "gui/presented_counter.h"
#include "gui/status_strip.h"
#include "link/link_status.h"
#include "recording/recording_check.h"
#include "session/video_session.h"
#include "tests/app/main_dialog_support.h"
#include "tests/e2e/e2e_process.h"
#include "tools/recorder_sim/picture_painter.h"

using namespace orvix;
using namespace orvix::test;

namespace {

constexpr char kRecordRange[] = "1325376000-1325462399";

class GridViewerTest : public MainDialogTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(writeUserDirs(config.path(), pictures, videos));
    }
    void startSimulator(const std::vector<std::string>& extra) {
        logPath = QDir(QString::fromStdString(config.path())).filePath("sim.log");
        std::vector<std::string> arguments{"--log", logPath.toStdString(), "--record-range", kRecordRange};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        simulator = std::make_unique<e2e::Simulator>("orvix-recorder-sim", arguments);
        ASSERT_TRUE(simulator->ready()) << simulator->firstLine();
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        simulator.reset();
    }

    C_DrawStatic* video() { return dialog->videoWindow(); }
    GridView* grid() { return video()->gridView(); }

    // Opens the dialog on a stored recorder for the simulator (every
    // picture, not only key pictures) and shows it.
    void openDialog() {
        store({{1, u"Sim Gate", u"127.0.0.1", static_cast<uint16_t>(simulator->port())}});
        ViewerSettings settings = ViewerSettings::load();
        settings.iframeOnly = false;
        ASSERT_TRUE(settings.save());
        open();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->tabControl()->setCurrentIndex(kPageConnect);
    }
    void connectNow() {
        auto answer = answerNextBox(QMessageBox::Ok);
        click(kConnect);
        ASSERT_TRUE(answer->seen);
        ASSERT_TRUE(processUntil([&] { return video()->session().status() == kStatusDataSendOk; }));
    }
    void chooseView(int view) {
        QComboBox* views = combo(kViewCombo);
        const int entry = views->findData(view);
        ASSERT_GE(entry, 0) << view;
        chooseEntry(views, entry);
    }

    // The simulator's data requests so far ("channels=..." of each line).
    std::vector<std::string> dataRequests() {
        std::vector<std::string> found;
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly)) return found;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const int at = line.indexOf("DATA_SEND_REQ ");
            const int channels = line.indexOf("channels=");
            if (at >= 0 && channels > at) found.push_back(line.mid(channels + 9).toStdString());
        }
        return found;
    }
    bool requested(const std::string& channels, size_t after) {
        return processUntil([&] {
            const auto requests = dataRequests();
            return requests.size() > after && requests.back() == channels;
        }, 20000);
    }
    bool loggedLine(const QString& prefix) {
        return processUntil([&] {
            QFile file(logPath);
            if (!file.open(QIODevice::ReadOnly)) return false;
            const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
            return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(prefix); });
        }, 20000);
    }

    // The lower middle of a picture, below its overlay.
    static QRect below(const QRect& picture) {
        return QRect(picture.x() + picture.width() / 8, picture.y() + picture.height() * 3 / 5, picture.width() * 3 / 4,
                     picture.height() / 4);
    }
    bool tileShows(int channel) {
        if (!grid()->isVisible()) return false;
        const QRect picture = grid()->pictureRect(channel);
        return !picture.isEmpty() && inChannelColour(video()->grab().toImage(), below(picture), channel);
    }
    bool singleShows(int channel) {
        const QRect picture = video()->pictureRect();
        return !picture.isEmpty() && inChannelColour(video()->grab().toImage(), below(picture), channel);
    }
    QPoint tileCentre(int index) { return grid()->tileRect(index).center(); }

    void saveScreenshot(const QString& name) { test::saveScreenshot(dialog.get(), name); }

    std::unique_ptr<e2e::Simulator> simulator;
    QString logPath;
    QString pictures;
    QString videos;
};

TEST_F(GridViewerTest, FourCamerasInTheirQuadrantsSelectedShownAloneAndBack) {
    startSimulator({"--channels", "4"});
    openDialog();
    // A recorder of four cameras is offered one or four pictures.
    EXPECT_EQ(itemData(kViewCombo), (std::vector<int>{1, 4}));
    connectNow();
    ASSERT_TRUE(requested("0", 0));
    size_t before = dataRequests().size();
    const uint64_t displayedBefore = PresentedCounter::total();
    chooseView(4);
    // One request for the four channels.
    ASSERT_TRUE(requested("0,1,2,3", before));
    EXPECT_EQ(dataRequests().size(), before + 1);
    ASSERT_TRUE(video()->gridShown());
    for (int channel = 0; channel < 4; ++channel) {
        ASSERT_TRUE(processUntil([&] { return tileShows(channel); }, 20000)) << "channel " << channel;
        // Each channel in its own quadrant of the grid, row by row.
        const QRect area = grid()->geometry();
        const QRect quadrant(channel % 2 * area.width() / 2, channel / 2 * area.height() / 2, area.width() / 2,
                             area.height() / 2);
        EXPECT_TRUE(quadrant.contains(grid()->pictureRect(channel))) << channel;
    }
    // Each tile's pictures count as displayed ones.
    EXPECT_TRUE(processUntil([&] { return PresentedCounter::total() >= displayedBefore + 4; }, 5000));
    // The overlay names the recorder and channel, and the recorder's time.
    EXPECT_EQ(grid()->textsFor(2).title, "Sim Gate CH 03");
    EXPECT_FALSE(grid()->textsFor(2).time.isEmpty());
    EXPECT_TRUE(grid()->textsFor(2).rates.isEmpty());
    // The status and info lines have a band below the tiles: the bottom
    // rows of the bottom-left picture show its camera.
    video()->showInfoLine("An info line over the band");
    processUntil([] { return false; }, 100);
    const auto* strip = video()->findChild<StatusStrip*>();
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(strip->isVisible());
    EXPECT_FALSE(strip->geometry().intersects(grid()->geometry()));
    // Above the test picture's numbered bar and time.
    const QRect lowLeft = grid()->pictureRect(2).translated(grid()->pos());
    EXPECT_TRUE(inChannelColour(video()->grab().toImage(),
                                QRect(lowLeft.left(), lowLeft.bottom() - lowLeft.height() / 4, lowLeft.width(),
                                      lowLeft.height() / 12),
                                2, 1));
    saveScreenshot("grid_2x2.png");
    // Tab on the video: the rates row with the channel's drops, and back.
    video()->setFocus();
    QTest::keyClick(video(), Qt::Key_Tab);
    EXPECT_TRUE(grid()->textsFor(2).rates.endsWith(" dropped")) << grid()->textsFor(2).rates.toStdString();
    QTest::keyClick(video(), Qt::Key_Tab);
    EXPECT_TRUE(grid()->textsFor(2).rates.isEmpty());

    // A click selects the tile: its channel is the current one.
    EXPECT_EQ(video()->selectedTileChannel(), 0);
    QTest::mouseClick(grid(), Qt::LeftButton, Qt::NoModifier, tileCentre(3));
    EXPECT_EQ(video()->selectedTileChannel(), 3);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 3);
    EXPECT_EQ(combo(kChannelCombo)->currentData().toInt(), 3);
    // Outlined: the tile's edge is drawn, another tile's is not.
    const QImage outlined = video()->grab().toImage();
    const QRect tile = grid()->tileRect(3);
    EXPECT_EQ(outlined.pixel(tile.center().x(), tile.top()) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_NE(outlined.pixel(grid()->tileRect(1).center().x(), grid()->tileRect(1).top()) & 0xFFFFFF, 0xFFFFFFu);
    saveScreenshot("grid_selected.png");

    // A double-click shows that channel alone: the single view's request.
    before = dataRequests().size();
    takeSent();
    QTest::mouseDClick(grid(), Qt::LeftButton, Qt::NoModifier, tileCentre(3));
    ASSERT_TRUE(requested("3", before));
    EXPECT_TRUE(dialog->tileEnlarged());
    EXPECT_FALSE(video()->gridShown());
    const auto messages = takeSent();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().message, static_cast<uint32_t>(VWM_SET_CHANNEL));
    EXPECT_EQ(messages.front().wParam, 3u);
    EXPECT_EQ(messages.front().lParam, 0);
    ASSERT_TRUE(processUntil([&] { return singleShows(3); }, 20000));
    saveScreenshot("grid_single.png");

    // Escape returns to the grid with one request for the set.
    before = dataRequests().size();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    ASSERT_TRUE(requested("0,1,2,3", before));
    EXPECT_EQ(dataRequests().size(), before + 1);
    EXPECT_TRUE(video()->gridShown());
    EXPECT_EQ(video()->selectedTileChannel(), 3);
    EXPECT_TRUE(dialog->isVisible());  // Escape never closes the program
    ASSERT_TRUE(processUntil([&] { return tileShows(1); }, 20000));

    // Keys pick tiles; the snapshot is the selected tile's picture.
    QTest::keyClick(video(), Qt::Key_2);
    EXPECT_EQ(video()->selectedTileChannel(), 1);
    ASSERT_TRUE(processUntil([&] { return tileShows(1); }, 20000));
    // The camera's 352x288 picture at its height in its 4:3 shape, as the
    // single view saves it; not the tile's smaller copy.
    const QImage snapshot = video()->snapshot();
    ASSERT_FALSE(snapshot.isNull());
    EXPECT_EQ(snapshot.size(), QSize(384, 288));
    EXPECT_TRUE(inChannelColour(snapshot, below(snapshot.rect()), 1));

    // Double-click on the lone picture returns too.
    QTest::mouseDClick(grid(), Qt::LeftButton, Qt::NoModifier, tileCentre(0));
    ASSERT_TRUE(processUntil([&] { return dialog->tileEnlarged(); }));
    before = dataRequests().size();
    QTest::mouseDClick(video(), Qt::LeftButton, Qt::NoModifier, video()->rect().center());
    ASSERT_TRUE(requested("0,1,2,3", before));
    EXPECT_FALSE(dialog->isFullScreenView());
}

TEST_F(GridViewerTest, SnapshotAndRecordingTakeTheSelectedTile) {
    startSimulator({"--channels", "4"});
    openDialog();
    connectNow();
    chooseView(4);
    ASSERT_TRUE(processUntil([&] { return tileShows(2); }, 20000));
    QTest::mouseClick(grid(), Qt::LeftButton, Qt::NoModifier, tileCentre(2));
    video()->setFocus();

    // Ctrl+S: the selected tile's picture, named for its channel.
    QTest::keyClick(video(), Qt::Key_S, Qt::ControlModifier);
    const QStringList shots = QDir(pictures + "/ORVIX").entryList({"*.png"}, QDir::Files);
    ASSERT_EQ(shots.size(), 1);
    EXPECT_TRUE(shots[0].startsWith("Sim_Gate-CH03-"));
    const QImage saved(pictures + "/ORVIX/" + shots[0]);
    ASSERT_FALSE(saved.isNull());
    EXPECT_TRUE(inChannelColour(saved, below(saved.rect()), 2));

    // Ctrl+R: the selected tile's channel, as received, until Ctrl+R again.
    QTest::keyClick(video(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(video()->recording());
    EXPECT_TRUE(grid()->textsFor(2).recording);
    EXPECT_FALSE(grid()->textsFor(1).recording);
    const uint64_t from = grid()->channels().contains(2) ? video()->gridFeed().latest(2).serial : 0;
    ASSERT_TRUE(processUntil([&] { return video()->gridFeed().latest(2).serial >= from + 40; }, 30000));
    QTest::keyClick(video(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(video()->recording());
    const QStringList files = QDir(videos + "/ORVIX").entryList({"*.mp4"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith("Sim_Gate-CH03-"));
    std::string error;
    EXPECT_TRUE(hasPlayableVideo((videos + "/ORVIX/" + files[0]).toStdString(), error)) << error;
}

TEST_F(GridViewerTest, GroupsOfASixteenCameraRecorderAndTheViewAfterARestart) {
    startSimulator({"--model-code", "13", "--channels", "16"});
    openDialog();
    connectNow();
    // The recorder reported 16 cameras: every view is offered.
    ASSERT_TRUE(processUntil([&] { return itemData(kViewCombo) == std::vector<int>{1, 4, 9, 16}; }));
    EXPECT_FALSE(enabled(kGroupNext));
    size_t before = dataRequests().size();
    chooseView(4);
    ASSERT_TRUE(requested("0,1,2,3", before));
    EXPECT_TRUE(enabled(kGroupNext));
    EXPECT_FALSE(enabled(kGroupPrevious));

    before = dataRequests().size();
    QTest::keyClick(video(), Qt::Key_PageDown);
    ASSERT_TRUE(requested("4,5,6,7", before));
    EXPECT_EQ(dataRequests().size(), before + 1);
    ASSERT_TRUE(processUntil([&] { return tileShows(4) && tileShows(7); }, 20000));
    EXPECT_EQ(video()->selectedTileChannel(), 4);

    before = dataRequests().size();
    click(kGroupNext);
    click(kGroupNext);
    ASSERT_TRUE(requested("12,13,14,15", before));
    EXPECT_FALSE(enabled(kGroupNext));
    // Past the last group nothing is asked for.
    before = dataRequests().size();
    QTest::keyClick(video(), Qt::Key_PageDown);
    QTest::qWait(300);
    EXPECT_EQ(dataRequests().size(), before);
    QTest::keyClick(video(), Qt::Key_PageUp);
    ASSERT_TRUE(requested("8,9,10,11", before));

    // Nine pictures: the group that holds the selected channel.
    before = dataRequests().size();
    chooseView(9);
    ASSERT_TRUE(requested("0,1,2,3,4,5,6,7,8", before));
    EXPECT_EQ(video()->selectedTileChannel(), 8);

    // Closed and started again: the recorder comes back in nine pictures
    // once it has said it has the cameras for them.
    dialog->accept();
    EXPECT_EQ(ViewerSettings::load().views[1], (GridChoice{9, 0, 8}));
    dialog.reset();
    open();
    dialog->show();
    dialog->tabControl()->setCurrentIndex(kPageConnect);
    before = dataRequests().size();
    connectNow();
    ASSERT_TRUE(requested("0,1,2,3,4,5,6,7,8", before));
    EXPECT_EQ(dialog->shownView(), 9);
    EXPECT_TRUE(video()->gridShown());
    ASSERT_TRUE(processUntil([&] { return tileShows(8); }, 20000));

    // The last group has seven cameras: its two last tiles say they have none.
    before = dataRequests().size();
    QTest::keyClick(video(), Qt::Key_PageDown);
    ASSERT_TRUE(requested("9,10,11,12,13,14,15", before));
    ASSERT_TRUE(processUntil([&] { return tileShows(15); }, 20000));
    const QImage shot = video()->grab().toImage();
    const QRect empty = grid()->tileRect(8);
    bool lettered = false;
    for (int x = empty.left() + 10; x < empty.right() - 10 && !lettered; ++x) {
        for (int y = empty.center().y() - 4; y <= empty.center().y() + 4 && !lettered; ++y) {
            const QRgb p = shot.pixel(x, y);
            lettered = qRed(p) > 150 && qGreen(p) > 150 && qBlue(p) > 150;
        }
    }
    EXPECT_TRUE(lettered);
    saveScreenshot("grid_3x3_last_group.png");
}

TEST_F(GridViewerTest, PlaybackOfTheWholeGridAndTilesWithoutPictures) {
    // The fourth camera stops after one second of video.
    startSimulator({"--channels", "4", "--fault-silent-channel", "4"});
    openDialog();
    connectNow();
    ASSERT_TRUE(processUntil([&] { return singleShows(0); }, 20000));
    // Past the fourth camera's second of video.
    QTest::qWait(1500);
    size_t before = dataRequests().size();
    chooseView(4);
    ASSERT_TRUE(requested("0,1,2,3", before));
    ASSERT_TRUE(processUntil([&] { return tileShows(0) && tileShows(2); }, 20000));
    // A channel without a picture says so.
    EXPECT_TRUE(grid()->pictureRect(3).isEmpty());
    EXPECT_EQ(grid()->noticeFor(3), "CH 04 - no video");
    const QImage shot = video()->grab().toImage();
    const QRect silent = grid()->tileRect(3);
    EXPECT_FALSE(inChannelColour(shot, silent.adjusted(8, 8, -8, -8), 3));
    bool lettered = false;
    for (int x = silent.left() + 10; x < silent.right() - 10 && !lettered; ++x) {
        const QRgb p = shot.pixel(x, silent.center().y());
        lettered = qRed(p) > 150 && qGreen(p) > 150 && qBlue(p) > 150;
    }
    EXPECT_TRUE(lettered);

    // START plays every shown channel: one request with all their bytes,
    // then the search.
    dialog->tabControl()->setCurrentIndex(kPageSearch);
    click(kRecInfoReq);
    ASSERT_TRUE(processUntil([&] { return enabled(kSearchStart); }, 20000));
    before = dataRequests().size();
    click(kSearchStart);
    ASSERT_TRUE(loggedLine("SEARCH_PLAY_REQ"));
    auto requests = dataRequests();
    ASSERT_GT(requests.size(), before);
    EXPECT_EQ(requests[before], "0,1,2,3");
    EXPECT_TRUE(grid()->playback());
    ASSERT_TRUE(processUntil([&] { return tileShows(0) && tileShows(1); }, 20000));
    // The silent channel's tile says there is no recording after 5 s.
    ASSERT_TRUE(processUntil([&] { return grid()->noticeFor(3) == "CH 04 - no recording"; }, 15000));
    EXPECT_TRUE(grid()->textsFor(0).search);

    // LIVE: the whole grid back to live.
    before = dataRequests().size();
    click(kSearchLive);
    ASSERT_TRUE(loggedLine("SEARCH_END_REQ"));
    ASSERT_TRUE(requested("0,1,2,3", before));
    EXPECT_FALSE(grid()->playback());
    EXPECT_EQ(grid()->noticeFor(3), "CH 04 - no video");
}

}  // namespace
