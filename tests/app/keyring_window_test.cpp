// The dialog with passwords in a real keyring that stops answering: a
// private gnome-keyring-daemon, stopped with SIGSTOP, on an X server under
// a window manager. The window keeps answering keys (sent with xdotool)
// while the keyring is asked, and falls back as without a keyring once the
// time limit passes. Run by the CTest entry keyring_window_under_xvfb;
// skipped elsewhere.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/main_dialog_ids.h"
#include "tests/app/main_dialog_support.h"
#include "tests/e2e/e2e_process.h"
#include "gui/c_draw_static.h"

using namespace orvix;
using namespace orvix::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kXdotool[] = "/usr/bin/xdotool";
constexpr auto kAnswerLimit = 200ms;

// Records when the first Space key press reached the application.
class KeyWatch : public QObject {
public:
    KeyWatch() { qApp->installEventFilter(this); }
    ~KeyWatch() override { qApp->removeEventFilter(this); }
    bool seen() const { return seen_; }
    Clock::time_point when() const { return when_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
            seen_ = true;
            when_ = Clock::now();
        }
        return false;
    }

private:
    bool seen_ = false;
    Clock::time_point when_;
};

// Presses Space through the X server from another thread, after `delay`
// (and once a window titled `title` is shown, when given).
class KeyPress {
public:
    explicit KeyPress(std::chrono::milliseconds delay, std::string title = {}) {
        thread_ = std::thread([this, delay, title] {
            if (!title.empty()) e2e::runProgram(kXdotool, {"search", "--sync", "--onlyvisible", "--name", title}, 60);
            shown_ = Clock::now();
            std::this_thread::sleep_for(delay);
            e2e::runProgram(kXdotool, {"key", "space"}, 30);
            sent_ = Clock::now();
        });
    }
    ~KeyPress() { finish(); }
    void finish() {
        if (thread_.joinable()) thread_.join();
    }
    Clock::time_point shown() const { return shown_; }
    Clock::time_point sent() const { return sent_; }

private:
    Clock::time_point shown_;
    Clock::time_point sent_;
    std::thread thread_;
};

class KeyringWindowTest : public MainDialogTest {
protected:
    void SetUp() override {
        if (std::getenv("ORVIX_PRIVATE_KEYRING_PID") == nullptr || QGuiApplication::platformName() != "xcb") {
            GTEST_SKIP() << "needs a private keyring and an X server (keyring_window_under_xvfb)";
        }
        daemon_ = static_cast<pid_t>(std::atol(std::getenv("ORVIX_PRIVATE_KEYRING_PID")));
        // Passwords go to the keyring while it answers.
        store({{7, u"Gate", u"127.0.0.1", 3000, 0, {}, {}, 0, u"admin", u"gate-pw"}});
    }
    void TearDown() override {
        resumeKeyring();
        MainDialogTest::TearDown();
    }
    void stopKeyring() {
        ASSERT_EQ(::kill(daemon_, SIGSTOP), 0);
        stopped_ = true;
    }
    void resumeKeyring() {
        if (stopped_) ::kill(daemon_, SIGCONT);
        stopped_ = false;
    }
    void showDialog() {
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    // The key press was handled, and soon after the X server had it.
    void expectAnswered(const KeyWatch& watch, KeyPress& press) {
        EXPECT_TRUE(processUntil([&] { return watch.seen(); }, 30000));
        press.finish();
        EXPECT_LT(watch.when() - press.sent(), kAnswerLimit);
    }
    std::string infoLine() { return dialog->videoWindow()->session().infoLine(); }
    bool connectSent() {
        for (const SentMessage& m : takeSent()) {
            if (m.message == VWM_CONNECT) return true;
        }
        return false;
    }
    void confirmConnect() {
        answerNextBox(QMessageBox::Ok);
        click(kConnect);
    }

    pid_t daemon_ = 0;
    bool stopped_ = false;
};

TEST_F(KeyringWindowTest, AStoppedKeyringAtStartNeitherHoldsNorBlanksTheWindow) {
    stopKeyring();
    KeyWatch watch;
    const Clock::time_point start = Clock::now();
    KeyPress press(100ms, "ORVIX V2.9");
    open();
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"Gate"}));
    showDialog();
    expectAnswered(watch, press);
    // Shown long before the keyring's time limit could have passed.
    EXPECT_LT(press.shown() - start, 2s);
}

TEST_F(KeyringWindowTest, AStoppedKeyringDuringASaveLeavesTheWindowAnsweringThenTheFileKeepsThePassword) {
    open();
    showDialog();
    ScriptedSetup setup(*dialog, [](DeviceRecord& record, int32_t, int32_t mode) {
        if (mode == 0) resetStoredFields(record);
        setText(record.name, u"Dock");
        setText(record.password, u"dock-pw");
        if (mode == 0) record.id = 8;
    });
    stopKeyring();
    KeyWatch watch;
    KeyPress press(300ms);
    click(kAddDevice);
    expectAnswered(watch, press);

    // The keyring's time limit passes: as without a keyring, the password
    // goes to the file and the info line says so.
    settleStore();
    EXPECT_EQ(infoLine(), "Passwords are kept in the device list file (no keyring)");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((config.path() + "/orvix/devices.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* row = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT password FROM devices WHERE name = 'Dock'", -1, &row, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(row), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 0)), "dock-pw");
    sqlite3_finalize(row);
    sqlite3_close(db);
}

TEST_F(KeyringWindowTest, APasswordIsFetchedWhenConnectingNeedsIt) {
    open();
    EXPECT_EQ(dialog->workingRecord().password.view(), u"");
    confirmConnect();
    EXPECT_EQ(infoLine(), kWaitingForKeyring);
    ASSERT_TRUE(processUntil([this] { return connectSent(); }));
    EXPECT_EQ(dialog->workingRecord().password.view(), u"gate-pw");
}

TEST_F(KeyringWindowTest, AStoppedKeyringWhenConnectingIsWaitedForThenGivenUp) {
    open();
    showDialog();
    stopKeyring();
    KeyWatch watch;
    KeyPress press(300ms);
    confirmConnect();
    EXPECT_EQ(infoLine(), kWaitingForKeyring);
    expectAnswered(watch, press);

    settleStore();
    ASSERT_NE(dialog->noticeBox(), nullptr);
    const QString notice = dialog->noticeBox()->text();
    EXPECT_NE(notice.indexOf("could not be read"), -1) << notice.toStdString();
    EXPECT_FALSE(connectSent());
    EXPECT_EQ(infoLine(), "");
}

}  // namespace
