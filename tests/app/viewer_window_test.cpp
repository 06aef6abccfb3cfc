// The main dialog as a desktop viewer, against the recorder simulator
// program: growing and maximising keep the picture's shape, full screen in
// and out, Escape never quits, Ctrl+S saves the shown picture, Ctrl+R keeps
// the shown channel as an MP4 that plays, and full screen comes back after
// a restart. With ORVIX_SCREENSHOT_DIR set (under a window manager, see the
// CTest entry viewer_window_under_xvfb) the maximised window, full screen
// and the overlay on a bright picture are saved there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/capture_files.h"
#include "app/dialog_geometry.h"
#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"
#include "gui/window_recording.h"
#include "link/link_status.h"
#include "media/video_decoder.h"
#include "recording/recording_check.h"
#include "session/video_session.h"
#include "tests/app/main_dialog_support.h"
#include "tests/e2e/e2e_process.h"
#include "tools/recorder_sim/picture_painter.h"

using namespace orvix;
using namespace orvix::test;

namespace {

TEST(GrownGeometry, TheTabsKeepTheirHeightAndTheVideoTakesTheRest) {
    const QSize smallest(640, 660);
    const DialogGeometry least = grownGeometry(QRect(0, 0, 640, 660), smallest);
    EXPECT_EQ(least.video, QRect(0, 0, 640, 480));
    EXPECT_EQ(least.tabs, QRect(0, 480, 640, 180));
    const DialogGeometry grown = grownGeometry(QRect(0, 0, 1280, 1000), smallest);
    EXPECT_EQ(grown.video, QRect(0, 0, 1280, 820));
    EXPECT_EQ(grown.tabs, QRect(0, 820, 1280, 180));
    // Smaller than the smallest (a window manager that ignores it).
    EXPECT_EQ(grownGeometry(QRect(0, 0, 300, 300), smallest).video, QRect(0, 0, 640, 480));
}

TEST(CaptureFiles, NamesAreSafeDatedAndNeverOverwriteAFile) {
    EXPECT_EQ(fileSafeName("Front gate/2"), "Front_gate_2");
    EXPECT_EQ(fileSafeName("../etc"), "_._etc");
    EXPECT_EQ(fileSafeName(".hidden"), "_hidden");
    EXPECT_EQ(fileSafeName(QString::fromUtf16(u"Caf\u00e9 \u5927\u9580")), "Caf____");
    EXPECT_EQ(fileSafeName(""), "recorder");
    const QDateTime time(QDate(2026, 12, 8), QTime(9, 5, 7));
    EXPECT_EQ(captureBaseName("Gate", 4, time), "Gate-CH05-20261208-090507");
    EXPECT_EQ(captureBaseName("Gate", 15, time), "Gate-CH16-20261208-090507");

    const QString folder = QDir::tempPath() + QStringLiteral("/orvix-capture-%1/ORVIX").arg(::getpid());
    QString error;
    const QString first = freeCapturePath(folder, "Gate-CH05-20261208-090507", "png", error);
    EXPECT_EQ(first, folder + "/Gate-CH05-20261208-090507.png");
    EXPECT_TRUE(QDir(folder).exists());
    QFile(first).open(QIODevice::WriteOnly);
    EXPECT_EQ(freeCapturePath(folder, "Gate-CH05-20261208-090507", "png", error),
              folder + "/Gate-CH05-20261208-090507-2.png");
    QDir(folder + "/..").removeRecursively();
    // A folder that cannot be made: no name, and the reason.
    EXPECT_TRUE(freeCapturePath("/proc/orvix-no/ORVIX", "x", "png", error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

class ViewerWindowTest : public MainDialogTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(writeUserDirs(config.path(), pictures, videos));
        simulator = std::make_unique<e2e::Simulator>("orvix-recorder-sim", std::vector<std::string>{});
        ASSERT_TRUE(simulator->ready()) << simulator->firstLine();
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        simulator.reset();
    }

    C_DrawStatic* video() { return dialog->videoWindow(); }

    // Opens the dialog on a stored recorder "Sim Gate" and connects it
    // (reconnecting by itself or not).
    void openAndConnect(bool reconnect = true) {
        store({{1, u"Sim Gate", u"127.0.0.1", static_cast<uint16_t>(simulator->port())}});
        // Every picture, not only key pictures.
        ViewerSettings settings;
        settings.iframeOnly = false;
        ASSERT_TRUE(settings.save());
        open();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->workingRecord().autoReconnectOff = reconnect ? 0 : 1;
        auto answer = answerNextBox(QMessageBox::Ok);
        dialog->tabControl()->setCurrentIndex(kPageConnect);
        click(kConnect);
        ASSERT_TRUE(answer->seen);
        ASSERT_TRUE(processUntil([&] { return video()->session().status() == kStatusDataSendOk; }));
        ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
    }

    // The lower middle of the shown picture (below the overlay) in the
    // channel's colour.
    bool showsChannel(int channel) {
        const QRect picture = video()->pictureRect();
        if (picture.isEmpty()) return false;
        const QRect area(picture.x() + picture.width() / 8, picture.y() + picture.height() / 2,
                         picture.width() * 3 / 4, picture.height() / 3);
        return inChannelColour(video()->grab().toImage(), area, channel);
    }
    // `count` more pictures shown.
    bool morePictures(uint64_t count) {
        const uint64_t serial = video()->output().handOver().latest().serial;
        return processUntil([&] { return video()->output().handOver().latest().serial >= serial + count; });
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWidget* target = nullptr) {
        QWidget* to = target != nullptr ? target : QApplication::focusWidget();
        QTest::keyClick(to != nullptr ? to : dialog.get(), static_cast<Qt::Key>(key), modifiers);
    }
    QString infoLine() { return QString::fromStdString(video()->session().infoLine()); }
    void saveScreenshot(const QString& name) { test::saveScreenshot(dialog.get(), name); }
    // The MP4 files in the recording folder, oldest name first.
    QStringList recordings() {
        return QDir(videos + "/ORVIX").entryList({"*.mp4"}, QDir::Files, QDir::Name);
    }
    // Frames FFmpeg's ffprobe decodes from `path`; -1 when it cannot read it.
    static int probedFrames(const QString& path) {
        const e2e::Finished probe =
            e2e::runProgram("/usr/bin/ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                                 "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0",
                                                 path.toStdString()});
        if (probe.exitCode != 0 || probe.out.empty()) return -1;
        return std::atoi(probe.out.c_str());
    }

    std::unique_ptr<e2e::Simulator> simulator;
    QString pictures;
    QString videos;
};

TEST_F(ViewerWindowTest, GrowingAndMaximisingKeepThePicturesShapeAndThePagesBelow) {
    openAndConnect();
    const QRect before = control(kConnect)->geometry();
    const int videoBottom = video()->geometry().bottom();
    dialog->resize(1280, 1000);
    ASSERT_TRUE(processUntil([&] { return dialog->width() == 1280; }));
    EXPECT_EQ(video()->geometry(), QRect(0, 0, 1280, 820));
    EXPECT_EQ(dialog->tabControl()->geometry(), QRect(0, 820, 1280, 180));
    // The page's rows keep their place relative to the video's bottom edge.
    EXPECT_EQ(control(kConnect)->geometry(), before.translated(0, 820 - 1 - videoBottom));
    ASSERT_TRUE(morePictures(2));
    const QRect picture = video()->pictureRect();
    EXPECT_EQ(picture, QRect(93, 0, 1093, 820));
    const QImage shot = video()->grab().toImage();
    EXPECT_EQ(shot.pixel(40, 600) & 0xFFFFFF, 0u);  // bars at the sides
    EXPECT_EQ(shot.pixel(1240, 600) & 0xFFFFFF, 0u);
    EXPECT_TRUE(showsChannel(0));

    // Maximised (on the window manager's screen when there is one).
    dialog->showMaximized();
    ASSERT_TRUE(processUntil([&] { return dialog->isMaximized(); }, 10000));
    QTest::qWait(300);
    ASSERT_TRUE(morePictures(2));
    const QRect maximised = video()->pictureRect();
    EXPECT_EQ(video()->geometry().bottom() + 1, dialog->tabControl()->y());
    EXPECT_NEAR(maximised.width() * 3.0 / maximised.height(), 4.0, 0.02);
    EXPECT_TRUE(maximised.width() == video()->width() || maximised.height() == video()->height());
    EXPECT_TRUE(showsChannel(0));
    saveScreenshot("main_window_maximised.png");
    // Remembered at its normal size, maximised.
    const ViewerSettings settings = dialog->currentSettings();
    EXPECT_TRUE(settings.maximised);
    EXPECT_EQ(settings.size, QSize(1280, 1000));
}

TEST_F(ViewerWindowTest, FullScreenInAndOutAndEscapeNeverQuits) {
    openAndConnect();
    key(Qt::Key_F11);
    ASSERT_TRUE(dialog->isFullScreenView());
    ASSERT_TRUE(processUntil([&] { return video()->geometry() == dialog->rect(); }, 10000));
    EXPECT_FALSE(dialog->tabControl()->isVisible());
    for (int id : {kConnect, kChannelCombo, kSnapshot}) EXPECT_FALSE(control(id)->isVisible()) << id;
    ASSERT_TRUE(morePictures(2));
    EXPECT_TRUE(showsChannel(0));
    saveScreenshot("main_window_full_screen.png");

    key(Qt::Key_Escape);
    EXPECT_FALSE(dialog->isFullScreenView());
    EXPECT_TRUE(dialog->tabControl()->isVisible());
    EXPECT_TRUE(control(kConnect)->isVisible());
    // Escape again, from a control: the program goes on, still connected.
    key(Qt::Key_Escape, Qt::NoModifier, control(kConnect));
    QTest::qWait(100);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isConnected());

    // A double-click on the video goes full screen, F11 returns.
    QTest::mouseDClick(video(), Qt::LeftButton, Qt::NoModifier, video()->rect().center());
    EXPECT_TRUE(dialog->isFullScreenView());
    key(Qt::Key_F11);
    EXPECT_FALSE(dialog->isFullScreenView());
    EXPECT_TRUE(processUntil([&] { return video()->height() + dialog->tabControl()->height() == dialog->height(); }));

    // Ctrl+Q closes through the exit sequence: disconnected, remembered.
    key(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->isConnected());
}

TEST_F(ViewerWindowTest, FullScreenAndTheWindowsSizeSurviveARestart) {
    store({{1, u"Sim Gate"}});
    open();
    dialog->show();
    // A size the screens of both test platforms hold (a larger one is
    // fitted to the screen when it comes back).
    dialog->resize(780, 660);
    ASSERT_TRUE(processUntil([&] { return dialog->width() == 780; }));
    key(Qt::Key_F11, Qt::NoModifier, dialog.get());
    ASSERT_TRUE(dialog->isFullScreenView());
    dialog->accept();
    dialog.reset();

    open();
    EXPECT_TRUE(dialog->isFullScreenView());
    dialog->show();
    ASSERT_TRUE(processUntil([&] { return video()->geometry() == dialog->rect(); }, 10000));
    EXPECT_FALSE(dialog->tabControl()->isVisible());
    key(Qt::Key_Escape, Qt::NoModifier, dialog.get());
    ASSERT_TRUE(processUntil([&] { return dialog->size() == QSize(780, 660); }, 10000));
    dialog->accept();
    dialog.reset();
    open();
    EXPECT_FALSE(dialog->isFullScreenView());
}

TEST_F(ViewerWindowTest, CtrlSSavesTheShownChannelWithItsOverlay) {
    openAndConnect();
    // Channel 2 chosen with its number key on the video.
    video()->setFocus();
    key(Qt::Key_2);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 1);
    ASSERT_TRUE(processUntil([&] { return showsChannel(1); }));
    ASSERT_TRUE(morePictures(2));

    key(Qt::Key_S, Qt::ControlModifier);
    const QStringList files = QDir(pictures + "/ORVIX").entryList({"Sim_Gate-CH02-*.png"}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << infoLine().toStdString();
    const QString path = pictures + "/ORVIX/" + files.front();
    EXPECT_EQ(infoLine(), "Snapshot saved to " + path);
    QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_NEAR(saved.width() * 3.0 / saved.height(), 4.0, 0.02);
    EXPECT_EQ(saved.height(), 288);
    EXPECT_TRUE(inChannelColour(saved, QRect(saved.width() / 8, saved.height() / 2, saved.width() * 3 / 4,
                                             saved.height() / 3),
                                1));
    // The overlay is in it: yellow rows in the top left corner.
    int yellow = 0;
    for (int y = 0; y < saved.height() / 3; ++y) {
        for (int x = 0; x < saved.width() / 2; ++x) {
            const QRgb p = saved.pixel(x, y);
            yellow += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 100 ? 1 : 0;
        }
    }
    EXPECT_GT(yellow, 50);

    // The overlay on a bright picture (channel 4 is yellow), for the eye.
    if (!qEnvironmentVariable("ORVIX_SCREENSHOT_DIR").isEmpty()) {
        key(Qt::Key_4, Qt::NoModifier, video());
        ASSERT_TRUE(processUntil([&] { return showsChannel(3); }));
        ASSERT_TRUE(morePictures(2));
        saveScreenshot("main_window_bright_picture.png");
        key(Qt::Key_2, Qt::NoModifier, video());
        ASSERT_TRUE(processUntil([&] { return showsChannel(1); }));
    }

    // A second one in the same second does not overwrite the first.
    dialog->takeSnapshot();
    EXPECT_GE(QDir(pictures + "/ORVIX").entryList({"Sim_Gate-CH02-*.png"}, QDir::Files).size(), 2);
    // Without a picture: nothing is written, the info line says why.
    click(kConnect);
    EXPECT_TRUE(dialog->takeSnapshot().isEmpty());
    EXPECT_EQ(infoLine(), "Snapshot: no picture is shown");
}


TEST_F(ViewerWindowTest, ASnapshotHasTheRecordersResolutionWhateverSizeTheWindowShows) {
    // A D1 recorder in a 640 x 480 video window: the view gets its pictures
    // already scaled down to 640 x 480.
    simulator = std::make_unique<e2e::Simulator>("orvix-recorder-sim", std::vector<std::string>{"--size", "704x576"});
    ASSERT_TRUE(simulator->ready()) << simulator->firstLine();
    openAndConnect();
    ASSERT_TRUE(morePictures(2));
    ASSERT_LT(video()->output().handOver().latest().source.height(), 576);
    // Compared with the decoder's own picture, taken straight after.
    QImage decoded;
    const QImage snapshot = video()->snapshot();
    video()->session().decoder()->withPicture([&](const DecodedPicture& picture) {
        decoded = QImage(picture.pixels, picture.width, picture.height, picture.width * 4, QImage::Format_RGB32).copy();
    });
    ASSERT_EQ(decoded.size(), QSize(704, 576));
    ASSERT_EQ(snapshot.size(), QSize(768, 576));
    // Below the overlay rows, the snapshot is the decoded picture widened
    // to 4:3: its rows match the decoder's, where a picture enlarged back
    // from the window's 480 rows would have lost or blurred the pattern's
    // lines. The two may be a picture apart: rows with moving parts of the
    // pattern may differ, so most rows, not all, must match.
    const QImage widened = decoded.scaled(768, 576, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int sameRows = 0;
    for (int y = 300; y < 560; ++y) {
        long difference = 0;
        for (int x = 0; x < 768; ++x) {
            const QRgb a = snapshot.pixel(x, y);
            const QRgb b = widened.pixel(x, y);
            difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
        sameRows += difference < 768 * 3 ? 1 : 0;
    }
    EXPECT_GT(sameRows, 230) << "of 260";
}

TEST_F(ViewerWindowTest, CtrlRKeepsTheShownChannelAsAnMp4ThatPlays) {
    openAndConnect();
    video()->setFocus();
    key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(video()->recording()) << infoLine().toStdString();
    EXPECT_TRUE(qobject_cast<QPushButton*>(control(kRecord))->isChecked());
    EXPECT_EQ(qobject_cast<QPushButton*>(control(kRecord))->text(), "Stop");
    EXPECT_TRUE(infoLine().startsWith("Recording to " + videos + "/ORVIX/Sim_Gate-CH01-"));
    const uint64_t first = video()->output().handOver().latest().serial;
    ASSERT_TRUE(morePictures(40));
    if (!qEnvironmentVariable("ORVIX_SCREENSHOT_DIR").isEmpty()) saveScreenshot("main_window_recording.png");

    // Channel 3 by its key: the first file ends, a new one begins.
    key(Qt::Key_3);
    ASSERT_TRUE(processUntil([&] { return showsChannel(2); }));
    const uint64_t shown = video()->output().handOver().latest().serial - first;
    ASSERT_TRUE(video()->recording());
    ASSERT_TRUE(morePictures(40));
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(video()->recording());
    EXPECT_FALSE(qobject_cast<QPushButton*>(control(kRecord))->isChecked());
    EXPECT_EQ(qobject_cast<QPushButton*>(control(kRecord))->text(), "Record");

    const QStringList files = recordings();
    ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
    EXPECT_TRUE(files[0].startsWith("Sim_Gate-CH01-"));
    EXPECT_TRUE(files[1].startsWith("Sim_Gate-CH03-"));
    EXPECT_EQ(infoLine(), "Recording saved to " + videos + "/ORVIX/" + files[1]);
    // The first file holds the pictures of channel 1 from its first key
    // picture on: at most those shown, most of them.
    // (It begins at the first key picture, up to a second after the key.)
    const int frames = probedFrames(videos + "/ORVIX/" + files[0]);
    EXPECT_GE(frames, 10);
    EXPECT_LE(frames, static_cast<int>(shown) + 2);
    EXPECT_GE(probedFrames(videos + "/ORVIX/" + files[1]), 10);

    // Recording, then Disconnect: the file is finished and plays.
    key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(video()->recording());
    ASSERT_TRUE(morePictures(30));
    click(kConnect);
    EXPECT_FALSE(video()->recording());
    EXPECT_FALSE(qobject_cast<QPushButton*>(control(kRecord))->isChecked());
    ASSERT_EQ(recordings().size(), 3);
    std::string error;
    EXPECT_TRUE(hasPlayableVideo((videos + "/ORVIX/" + recordings()[2]).toStdString(), error)) << error;
    // Not connected: nothing starts.
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(video()->recording());
    EXPECT_EQ(infoLine(), "Recording needs a connection");
}

TEST_F(ViewerWindowTest, ALostConnectionFinishesTheRecording) {
    openAndConnect(false);
    dialog->toggleRecording();
    ASSERT_TRUE(video()->recording());
    ASSERT_TRUE(morePictures(40));
    simulator->killNow();
    ASSERT_TRUE(processUntil([&] { return !video()->recording(); }));
    EXPECT_FALSE(qobject_cast<QPushButton*>(control(kRecord))->isChecked());
    // Closing the "Network Error occurred" box is left to the test's end.
    const QStringList files = recordings();
    ASSERT_EQ(files.size(), 1);
    EXPECT_GE(probedFrames(videos + "/ORVIX/" + files[0]), 10);
}

TEST_F(ViewerWindowTest, ARecordingGoesOnInTheNextFileOnceAReconnectBringsVideoBack) {
    ::setenv("ORVIX_TEST_RECONNECT_MS", "300,1000,5000", 1);
    openAndConnect();
    ::unsetenv("ORVIX_TEST_RECONNECT_MS");
    dialog->toggleRecording();
    ASSERT_TRUE(video()->recording());
    const QString first = QString::fromStdString(video()->recordingPath());
    ASSERT_TRUE(morePictures(40));

    const int samePort = simulator->port();
    simulator->killNow();
    // The file so far is saved; the mark and the info line say the
    // recording waits for the video.
    ASSERT_TRUE(processUntil([&] { return video()->recordingPart().state() == WindowRecording::State::Paused; }));
    EXPECT_TRUE(video()->recording());
    EXPECT_TRUE(qobject_cast<QPushButton*>(control(kRecord))->isChecked());
    const QString name = QFileInfo(first).fileName();
    EXPECT_TRUE(video()->statusLines().infoText.endsWith(" - Recording paused (" + name + " saved)"))
        << video()->statusLines().infoText.toStdString();
    std::string error;
    EXPECT_TRUE(hasPlayableVideo(first.toStdString(), error)) << error;
    const QImage shown = video()->grab().toImage();
    int amber = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = shown.width() - 100; x < shown.width(); ++x) {
            const QRgb p = shown.pixel(x, y);
            amber += std::abs(qRed(p) - 240) < 30 && std::abs(qGreen(p) - 176) < 30 && qBlue(p) < 80 ? 1 : 0;
        }
    }
    EXPECT_GT(amber, 20);  // the paused mark over the logo

    simulator = std::make_unique<e2e::Simulator>("orvix-recorder-sim", std::vector<std::string>{}, samePort);
    ASSERT_TRUE(processUntil([&] { return video()->recordingPart().state() == WindowRecording::State::Recording; }));
    const QString second = QString::fromStdString(video()->recordingPath());
    EXPECT_EQ(QFileInfo(second).fileName(), QFileInfo(first).completeBaseName() + "-2.mp4");
    EXPECT_TRUE(video()->statusLines().infoText.endsWith(" - Recording continues in " + QFileInfo(second).fileName()));
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
    ASSERT_TRUE(morePictures(40));
    dialog->toggleRecording();
    EXPECT_EQ(infoLine(), "Recording saved to " + second);
    const QStringList files = recordings();
    EXPECT_EQ(files.size(), 2);
    EXPECT_TRUE(files.contains(QFileInfo(first).fileName()) && files.contains(QFileInfo(second).fileName()));
    EXPECT_GE(probedFrames(first), 10);
    EXPECT_GE(probedFrames(second), 10);
}

TEST_F(ViewerWindowTest, NumberKeysTabAndHelp) {
    store({{1, u"Sim Gate"}});
    open();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->tabControl()->setCurrentIndex(kPageConnect);
    video()->setFocus();
    ASSERT_TRUE(processUntil([&] { return video()->hasFocus(); }));
    // 0 is channel 10; keys beyond the list's channels change nothing.
    key(Qt::Key_0);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 9);
    EXPECT_EQ(combo(kChannelCombo)->currentData().toInt(), 9);
    key(Qt::Key_4);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 3);

    // Tab on the video flips the rates row and keeps the focus there.
    const int statistics = video()->statistics();
    key(Qt::Key_Tab);
    EXPECT_NE(video()->statistics(), statistics);
    EXPECT_TRUE(video()->hasFocus());
    // Anywhere else Tab moves the focus and leaves the rates row alone.
    control(kConnect)->setFocus();
    ASSERT_TRUE(processUntil([&] { return control(kConnect)->hasFocus(); }));
    key(Qt::Key_Tab);
    EXPECT_FALSE(control(kConnect)->hasFocus());
    EXPECT_NE(video()->statistics(), statistics);  // unchanged since the flip

    // Digits typed into the search page's time (enabled once a range is
    // known) stay there.
    dialog->tabControl()->setCurrentIndex(kPageSearch);
    auto* time = qobject_cast<QTimeEdit*>(control(kSearchTime));
    time->setEnabled(true);
    time->setFocus();
    key(Qt::Key_1, Qt::NoModifier, time);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 3);

    // F1 lists the keys without blocking the window.
    key(Qt::Key_F1, Qt::NoModifier, dialog.get());
    auto* help = dialog->findChild<QMessageBox*>("KeyHelp");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->text().contains("F11"));
    EXPECT_TRUE(help->text().contains("Ctrl+R"));
    help->close();
}

}  // namespace
