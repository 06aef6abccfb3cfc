// Playback as a player in the main dialog, against the recorder simulator
// program: the range request brings live video back, the timeline plays from
// the clicked time, pause keeps the picture and resumes from the last shown
// time, the keys jump, a paused stream raises no silence notice, and a span
// is saved as MP4. With ORVIX_SCREENSHOT_DIR set the paused timeline is
// saved there as playback_timeline.png (CTest viewer_window_under_xvfb).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog_ids.h"
#include "app/viewer_settings.h"
#include "gui/c_draw_static.h"
#include "gui/playback_timeline.h"
#include "link/link_status.h"
#include "recording/recording_check.h"
#include "tests/app/main_dialog_support.h"
#include "tests/e2e/e2e_process.h"

using namespace orvix;
using namespace orvix::test;

namespace {

constexpr TimeRange kRange{1325376000, 1325462399};

class PlaybackTimelineTest : public MainDialogTest {
protected:
    void SetUp() override {
        QString pictures;
        ASSERT_NO_FATAL_FAILURE(writeUserDirs(config.path(), pictures, videos));
        // A silence notice would come after 2 s; echoes keep the link alive.
        qputenv("ORVIX_TEST_RECONNECT_MS", "1000,2000,2000");
        logPath = QDir(QString::fromStdString(config.path())).filePath("sim.log");
        simulator = std::make_unique<e2e::Simulator>(
            "orvix-recorder-sim", std::vector<std::string>{"--log", logPath.toStdString(), "--record-range",
                                                           "1325376000-1325462399", "--echo-interval", "1", "--fps",
                                                           "10"});
        ASSERT_TRUE(simulator->ready()) << simulator->firstLine();
        store({{1, u"Sim Gate", u"127.0.0.1", static_cast<uint16_t>(simulator->port())}});
        ViewerSettings settings = ViewerSettings::load();
        settings.iframeOnly = false;
        ASSERT_TRUE(settings.save());
        open();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->tabControl()->setCurrentIndex(kPageConnect);
        auto answer = answerNextBox(QMessageBox::Ok);
        click(kConnect);
        ASSERT_TRUE(answer->seen);
        ASSERT_TRUE(processUntil([&] { return session().status() == kStatusDataSendOk; }));
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        simulator.reset();
        qunsetenv("ORVIX_TEST_RECONNECT_MS");
    }

    C_DrawStatic* video() { return dialog->videoWindow(); }
    VideoSession& session() { return video()->session(); }
    PlaybackTimeline* timeline() { return dialog->timeline(); }

    std::vector<std::string> logLines() {
        QFile file(logPath);
        std::vector<std::string> lines;
        if (!file.open(QIODevice::ReadOnly)) return lines;
        for (const QByteArray& line : file.readAll().split('\n')) lines.push_back(line.toStdString());
        return lines;
    }
    // The simulator's last line starting with `prefix` is `line`.
    bool lastLogged(const std::string& prefix, const std::string& line) {
        return processUntil([&] {
            std::string last;
            for (const std::string& l : logLines()) {
                if (l.rfind(prefix, 0) == 0) last = l;
            }
            return last == line;
        }, 20000);
    }
    bool searchLoggedAt(uint32_t t) { return lastLogged("SEARCH_TIME", "SEARCH_TIME " + std::to_string(t)); }
    // Pictures keep coming: the newest shown time passes `t`.
    bool shownPast(uint32_t t) {
        return processUntil([&] { return session().shownTime().value_or(0) > t; }, 20000);
    }
    void askRange() {
        dialog->tabControl()->setCurrentIndex(kPageSearch);
        click(kRecInfoReq);
        ASSERT_TRUE(processUntil([&] { return timeline()->isVisible(); }));
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(video(), static_cast<Qt::Key>(key), modifiers);
    }
    bool silenceTold() { return session().infoLine().rfind("No video from", 0) == 0; }

    QString videos;
    QString logPath;
    std::unique_ptr<e2e::Simulator> simulator;
};

}  // namespace

TEST_F(PlaybackTimelineTest, TheRangeRequestBringsLiveVideoBackWithoutASilenceNotice) {
    ASSERT_TRUE(shownPast(0));
    ASSERT_NO_FATAL_FAILURE(askRange());
    // No channel for the request, then the live channel again by itself.
    EXPECT_TRUE(processUntil([&] {
        const std::vector<std::string> lines = logLines();
        const auto info = std::find(lines.begin(), lines.end(), "RECORD_INFO_REQ");
        return info != lines.begin() && info != lines.end() && *(info - 1) == "DATA_SEND_REQ flag=0 channels=none" &&
               std::find(info, lines.end(), "DATA_SEND_REQ flag=0 channels=0") != lines.end();
    }, 20000));
    const uint32_t live = session().shownTime().value_or(0);
    EXPECT_TRUE(shownPast(live + 2));  // live pictures for longer than the silence time
    EXPECT_FALSE(silenceTold()) << session().infoLine();
    EXPECT_EQ(session().playback(), PlaybackPhase::Live);
    EXPECT_EQ(timeline()->geometry().top(), video()->geometry().bottom() + 1);
}

TEST_F(PlaybackTimelineTest, ClickPauseResumeAndKeysPlayFromTheExpectedTimes) {
    ASSERT_NO_FATAL_FAILURE(askRange());
    const QRect bar = timeline()->barRect();
    const QPoint at(bar.left() + bar.width() / 2, bar.center().y());
    const uint32_t clicked = timelineTime(at.x() - bar.left(), bar.width(), kRange);
    QTest::mouseClick(timeline(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(searchLoggedAt(clicked));
    ASSERT_TRUE(shownPast(clicked + 1));

    // Paused longer than the silence time: the picture stays, nothing is told.
    key(Qt::Key_Space);
    EXPECT_EQ(session().playback(), PlaybackPhase::Paused);
    EXPECT_TRUE(lastLogged("SEARCH_END_REQ", "SEARCH_END_REQ"));
    QTest::qWait(3000);
    EXPECT_EQ(session().infoLine(), "PAUSED");
    EXPECT_FALSE(video()->pictureRect().isEmpty());
    saveScreenshot(dialog.get(), QStringLiteral("playback_timeline.png"));
    const uint32_t paused = session().shownTime().value();
    key(Qt::Key_Space);
    EXPECT_TRUE(searchLoggedAt(paused));
    EXPECT_EQ(session().playback(), PlaybackPhase::Playing);

    struct Jump {
        int key;
        Qt::KeyboardModifiers modifiers;
        int64_t delta;
    };
    for (const Jump& jump : {Jump{Qt::Key_Right, Qt::NoModifier, 10}, Jump{Qt::Key_Left, Qt::ShiftModifier, -60}}) {
        key(Qt::Key_Space);  // paused: the shown time holds still
        ASSERT_EQ(session().playback(), PlaybackPhase::Paused);
        const uint32_t from = session().shownTime().value();
        key(jump.key, jump.modifiers);
        EXPECT_TRUE(searchLoggedAt(static_cast<uint32_t>(from + jump.delta))) << jump.key;
        ASSERT_TRUE(shownPast(static_cast<uint32_t>(from + jump.delta)));
    }
    // After LIVE the timeline still plays, and LIVE leads back again.
    click(kSearchLive);
    ASSERT_EQ(session().playback(), PlaybackPhase::Live);
    key(Qt::Key_Home);
    EXPECT_TRUE(searchLoggedAt(kRange.start));
    EXPECT_TRUE(enabled(kSearchLive));
    key(Qt::Key_End);
    EXPECT_TRUE(searchLoggedAt(kRange.end - 60));
    EXPECT_FALSE(silenceTold()) << session().infoLine();
}

TEST_F(PlaybackTimelineTest, ASavedSpanPlaysAndEndsPaused) {
    ASSERT_NO_FATAL_FAILURE(askRange());
    const uint32_t from = kRange.start + 3600;
    const QString path = dialog->saveSpan(from, from + 2);
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(path.startsWith(videos)) << path.toStdString();
    EXPECT_TRUE(searchLoggedAt(from));
    ASSERT_TRUE(processUntil([&] { return !video()->recording(); }, 20000));
    EXPECT_EQ(session().playback(), PlaybackPhase::Paused);
    EXPECT_EQ(session().infoLine(), "Span saved to " + path.toStdString());
    std::string error;
    EXPECT_TRUE(hasPlayableVideo(path.toStdString(), error)) << error;
    // The end came before the span's last second was left.
    EXPECT_GE(session().shownTime().value(), from + 2);
    EXPECT_TRUE(dialog->saveSpan(from + 5, from + 5).isEmpty());
}
