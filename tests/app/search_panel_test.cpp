// The "Search" page: the range request, the pickers limited to the
// recorded range in recorder time, START's seconds and the way back to live.
#include <gtest/gtest.h>
#include <time.h>

#include <QDateEdit>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>

#include "app/control_states.h"
#include "app/main_dialog_ids.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// Runs the test body with the host in a zone far from UTC, with daylight
// saving, so that any zone arithmetic would show.
class ForeignTimeZone {
public:
    explicit ForeignTimeZone(const char* zone) : previous_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~ForeignTimeZone() {
        if (had_) {
            qputenv("TZ", previous_);
        } else {
            qunsetenv("TZ");
        }
        ::tzset();
    }

private:
    QByteArray previous_;
    bool had_;
};

class SearchPanelTest : public MainDialogTest {
protected:
    void SetUp() override {
        store({{1, u"A"}});
        open();
        connectStreaming();
        dialog->tabControl()->setCurrentIndex(kPageSearch);
        takeSent();
    }
    QDateEdit* date() { return qobject_cast<QDateEdit*>(control(kSearchDate)); }
    QTimeEdit* time() { return qobject_cast<QTimeEdit*>(control(kSearchTime)); }
    void rangeReply(uint32_t message, uint32_t start, uint32_t end) {
        const uint32_t range[2] = {start, end};
        EXPECT_EQ(dialog->sendMessage(message, reinterpret_cast<WParam>(range), 1), 1);
    }
    // The user picks a date, then a time.
    void pick(QDate day, QTime at) {
        date()->setDate(day);
        time()->setTime(at);
    }
    uint32_t startSent() {
        click(kSearchStart);
        const auto messages = takeSent();
        EXPECT_EQ(messages.size(), 1u);
        if (messages.empty()) return 0;
        EXPECT_EQ(messages[0].message, VWM_SEARCH_START);
        return static_cast<uint32_t>(messages[0].wParam);
    }
    // Typed as a user does: into the hour, six digits (each full section
    // moves on to the next), then Enter.
    void typeTime(const char* digits) {
        time()->setFocus();
        time()->setSelectedSection(QDateTimeEdit::HourSection);
        QTest::keyClicks(time(), QString::fromLatin1(digits));
        QTest::keyClick(time(), Qt::Key_Return);
    }
    bool cameraControlsEnabled(bool expected) {
        for (int id : cameraAndAlarmControls())
            if (enabled(id) != expected) return false;
        return true;
    }
};

TEST_F(SearchPanelTest, ARangeRequestDisablesTheCameraControls) {
    EXPECT_TRUE(cameraControlsEnabled(true));
    click(kRecInfoReq);
    const auto messages = takeSent();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, VWM_RECORD_INFO_REQ);
    EXPECT_TRUE(cameraControlsEnabled(false));
    EXPECT_TRUE(enabled(kRecInfoReq));
    EXPECT_FALSE(enabled(kSearchStart));
    EXPECT_FALSE(enabled(kSearchDate));
}

TEST_F(MainDialogTest, ARangeRequestThatCannotGoOutLeavesTheCameraControlsAlone) {
    store({{1, u"A"}});
    open();
    // Connected, but the recorder has not answered yet: no video flows.
    peer = std::make_unique<ScriptedPeer>();
    dialog->workingRecord().port = peer->port();
    auto answer = answerNextBox(QMessageBox::Ok);
    click(kConnect);
    runWhileProcessing([&] { ASSERT_TRUE(peer->accept()); });
    ASSERT_TRUE(dialog->isConnected());
    ASSERT_NE(linkStatus(), 9);
    const auto before = controlStates();
    click(kRecInfoReq);
    EXPECT_EQ(takeSent().back().message, VWM_RECORD_INFO_REQ);
    EXPECT_EQ(controlStates(), before);
}

TEST_F(SearchPanelTest, ARangeLimitsBothPickersInRecorderTimeWhateverTheZone) {
    ForeignTimeZone zone("America/Sao_Paulo");
    click(kRecInfoReq);
    rangeReply(VWM_RECORD_INFO, 1325376000, 1325462399);
    takeSent();
    for (int id : {kSearchStart, kSearchLive, kSearchDate, kSearchTime}) EXPECT_TRUE(enabled(id)) << id;
    EXPECT_TRUE(cameraControlsEnabled(false));
    EXPECT_EQ(date()->minimumDate(), QDate(2012, 1, 1));
    EXPECT_EQ(date()->maximumDate(), QDate(2012, 1, 1));
    EXPECT_EQ(date()->date(), QDate(2012, 1, 1));
    EXPECT_EQ(time()->date(), QDate(2012, 1, 1));
    EXPECT_EQ(time()->minimumTime(), QTime(0, 0, 0));
    EXPECT_EQ(time()->maximumTime(), QTime(23, 59, 59));
    EXPECT_EQ(time()->minimumDateTime(), QDateTime(QDate(2012, 1, 1), QTime(0, 0, 0), Qt::UTC));
    EXPECT_EQ(time()->maximumDateTime(), QDateTime(QDate(2012, 1, 1), QTime(23, 59, 59), Qt::UTC));

    time()->setTime(QTime(0, 0, 0));
    EXPECT_EQ(startSent(), 1325376000u);
    time()->setTime(QTime(23, 59, 59));
    EXPECT_EQ(startSent(), 1325462399u);
}

TEST_F(SearchPanelTest, WithinARangeOfSeveralDaysTheTimesFollowTheChosenDay) {
    // 2012-01-01 10:00:00 .. 2012-01-03 05:00:00, as a search reply.
    rangeReply(VWM_SEARCH_INFO, 1325412000, 1325566800);
    EXPECT_EQ(date()->minimumDate(), QDate(2012, 1, 1));
    EXPECT_EQ(date()->maximumDate(), QDate(2012, 1, 3));
    date()->setDate(QDate(2012, 1, 2));
    time()->setTime(QTime(3, 4, 5));
    EXPECT_EQ(time()->minimumTime(), QTime(0, 0, 0));
    EXPECT_EQ(startSent(), 1325473445u);  // 2012-01-02 03:04:05
    // The first day starts at 10:00, the last ends at 05:00: a day chosen
    // later moves the time into the range.
    date()->setDate(QDate(2012, 1, 1));
    EXPECT_EQ(time()->time(), QTime(10, 0, 0));
    date()->setDate(QDate(2012, 1, 3));
    EXPECT_EQ(time()->time(), QTime(5, 0, 0));
    EXPECT_EQ(time()->date(), QDate(2012, 1, 3));
    EXPECT_EQ(startSent(), 1325566800u);
}

TEST_F(SearchPanelTest, TheRangeIsShownAndATimeCanBeTypedAnywhereInIt) {
    // 2026-12-07 05:00:30 .. 2026-12-08 05:00:00
    rangeReply(VWM_RECORD_INFO, 1796619630, 1796706000);
    auto* range = qobject_cast<QLabel*>(control(kSearchRange));
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->text(), "Recorded from 2026-12-07 05:00:30 to 2026-12-08 05:00:00");
    EXPECT_FALSE(range->isHidden());
    EXPECT_GE(range->width(), range->sizeHint().width());

    // The hour comes first: 05 with the minutes shown (05:00:00) would lie
    // before the range for a moment.
    date()->setDate(QDate(2026, 12, 7));
    time()->setTime(QTime(6, 0, 0));
    typeTime("054530");
    EXPECT_EQ(time()->time(), QTime(5, 45, 30));
    EXPECT_EQ(startSent(), 1796622330u);  // 2026-12-07 05:45:30
    // On the last day, up to its end, from a time past it.
    date()->setDate(QDate(2026, 12, 8));
    time()->setTime(QTime(5, 0, 0));
    typeTime("045959");
    EXPECT_EQ(time()->time(), QTime(4, 59, 59));
    EXPECT_EQ(startSent(), 1796705999u);

    // What lies outside is pulled to the nearer end once typed.
    typeTime("070000");
    EXPECT_EQ(time()->time(), QTime(5, 0, 0));
    EXPECT_EQ(startSent(), 1796706000u);
    date()->setDate(QDate(2026, 12, 7));
    typeTime("000010");
    EXPECT_EQ(time()->time(), QTime(5, 0, 30));
    EXPECT_EQ(startSent(), 1796619630u);

    // A failed reply or a new connection forgets the range.
    EXPECT_EQ(dialog->sendMessage(VWM_RECORD_INFO_FAIL, 0, 0), 1);
    EXPECT_TRUE(range->text().isEmpty());
}

TEST_F(SearchPanelTest, ChangingTheDateKeepsTheTimeOfDay) {
    pick(QDate(2013, 6, 1), QTime(8, 15, 30));
    date()->setDate(QDate(2013, 6, 9));
    EXPECT_EQ(time()->time(), QTime(8, 15, 30));
    EXPECT_EQ(time()->date(), QDate(2013, 6, 9));
}

TEST_F(SearchPanelTest, StartSendsRecorderSecondsWithLeapDaysCounted) {
    ForeignTimeZone zone("Asia/Tokyo");
    rangeReply(VWM_RECORD_INFO, 0, 2000000000);
    pick(QDate(2011, 12, 31), QTime(23, 59, 59));
    EXPECT_EQ(startSent(), 1325375999u);
    pick(QDate(2012, 2, 29), QTime(12, 0, 0));
    EXPECT_EQ(startSent(), 1330516800u);
    // Pressed again while playing, it sends the new time.
    time()->setTime(QTime(12, 0, 1));
    EXPECT_EQ(startSent(), 1330516801u);
    EXPECT_TRUE(enabled(kSearchStart));
}

TEST_F(SearchPanelTest, NoRangeOffersOnlyLive) {
    click(kRecInfoReq);
    EXPECT_EQ(dialog->sendMessage(VWM_RECORD_INFO_FAIL, 0, 0), 1);
    EXPECT_FALSE(enabled(kSearchStart));
    EXPECT_TRUE(enabled(kSearchLive));
    EXPECT_FALSE(enabled(kSearchDate));
    EXPECT_FALSE(enabled(kSearchTime));
    EXPECT_TRUE(enabled(kRecInfoReq));
}

TEST_F(SearchPanelTest, LiveLeavesTheTimePickerEnabledAndTheCameraControlsBack) {
    click(kRecInfoReq);
    rangeReply(VWM_RECORD_INFO, 1325376000, 1325462399);
    takeSent();
    click(kSearchLive);
    const auto messages = takeSent();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, VWM_SEARCH_END);
    EXPECT_FALSE(enabled(kSearchStart));
    EXPECT_FALSE(enabled(kSearchLive));
    EXPECT_FALSE(enabled(kSearchDate));
    EXPECT_TRUE(enabled(kSearchTime));
    EXPECT_TRUE(cameraControlsEnabled(true));
}

TEST_F(SearchPanelTest, AReplyWithoutItsRangeChangesNothing) {
    EXPECT_EQ(dialog->sendMessage(VWM_RECORD_INFO, 0, 1), 1);
    EXPECT_FALSE(enabled(kSearchStart));
    EXPECT_FALSE(enabled(kSearchDate));
}

}  // namespace
