// A whole session in the main dialog against the recorder simulator
// program: add a recorder through the setup dialog, connect, change the
// channel, ask for the recorded range, play back, go live, move the camera,
// switch an alarm output, disconnect and close. The simulator's command log
// shows what reached the recorder. Also a recorder that resets the
// connection, one that dies (told by the box, or reconnected by itself), one
// whose retry lands on a recorder or DDNS server that stops answering at a
// step of connecting, and one that is not there. With
// ORVIX_SCREENSHOT_DIR set, the whole dialog is saved there as
// main_dialog.png once live video is shown, and as main_dialog_status.png
// with the logo and the status line right after a refresh.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/first_run_form.h"
#include "app/main_dialog_ids.h"
#include "core/library_binding.h"
#include "gui/c_draw_static.h"
#include "link/link_status.h"
#include "session/video_session.h"
#include "tests/app/main_dialog_support.h"
#include "tests/e2e/e2e_process.h"
#include "tests/support/loopback_server.h"
#include "tools/ddns_sim/ddns_simulator.h"
#include "tools/recorder_sim/picture_painter.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// The simulator's recorded range: 2012-01-01 00:00:00 to 23:59:59.
constexpr char kRecordRange[] = "1325376000-1325462399";

QWidget* findControl(QWidget* root, int id) {
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        const QVariant value = widget->property("controlId");
        if (value.isValid() && value.toInt() == id) return widget;
    }
    return nullptr;
}

class MainDialogSession : public MainDialogTest {
protected:
    void SetUp() override {
        logPath = QDir(QString::fromStdString(config.path())).filePath("sim.log");
        startSimulator({});
    }
    // Starts the simulator program with `extra` options, on `wanted` (0: a
    // free port). Started with fork and exec: QProcess starts programs in a
    // way that hides this thread's later locking from ThreadSanitizer.
    void startSimulator(const std::vector<std::string>& extra, uint16_t wanted = 0) {
        std::vector<std::string> arguments{"--log", logPath.toStdString(), "--record-range", kRecordRange};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        simulator = std::make_unique<e2e::Simulator>("orvix-recorder-sim", arguments, wanted);
        ASSERT_TRUE(simulator->ready()) << simulator->firstLine();
        port = static_cast<uint16_t>(simulator->port());
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        simulator.reset();
    }

    // Whether the simulator has logged a line starting with `prefix`.
    bool logHolds(const QString& prefix) {
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly)) return false;
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        return std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.startsWith(prefix); });
    }
    // Waits until it has.
    bool logged(const QString& prefix) {
        return processUntil([&] { return logHolds(prefix); }, 30000);
    }
    C_DrawStatic* video() { return dialog->videoWindow(); }
    int status() { return video()->session().status(); }
    // Most of the picture in `channel`'s camera colour.
    bool showsChannel(int channel) {
        QWidget* view = video()->output().activeView();
        if (view == nullptr || !view->isVisible()) return false;
        const QImage image = video()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect area(40, 200, 560, 240);  // below the overlay rows
        const sim::Rgb c = sim::channelColour(channel);
        int matching = 0;
        for (int y = area.top(); y <= area.bottom(); y += 4) {
            for (int x = area.left(); x <= area.right(); x += 4) {
                const QRgb p = image.pixel(x, y);
                if (std::abs(qRed(p) - c.r) < 30 && std::abs(qGreen(p) - c.g) < 30 && std::abs(qBlue(p) - c.b) < 30)
                    ++matching;
            }
        }
        return matching > (area.width() / 4) * (area.height() / 4) / 3;
    }

    // A stored recorder for the simulator, chosen, and Connect confirmed
    // (on `channel`, reconnecting by itself or not).
    void connectToStoredRecorder(bool reconnect = true, int channel = 0) {
        store({{1, u"Simulator", u"127.0.0.1", port}});
        open();
        dialog->show();
        DeviceRecord* saved = dialog->deviceList().at(0);
        setText(saved->account, u"admin");
        setText(saved->password, u"1234");
        saved->autoReconnectOff = reconnect ? 0 : 1;
        copyRecord(dialog->workingRecord(), *saved);
        qobject_cast<QComboBox*>(control(kChannelCombo))->setCurrentIndex(channel);
        clickConnect();
    }
    void clickConnect() {
        auto answer = answerNextBox(QMessageBox::Ok);
        click(kConnect);
        ASSERT_TRUE(answer->seen);
    }
    QString connectButtonText() { return qobject_cast<QPushButton*>(control(kConnect))->text(); }
    std::string infoLine() { return video()->session().infoLine(); }
    // The "Network Error occurred" box, when it is open.
    bool networkErrorShown() {
        QMessageBox* box = video()->networkErrorBox();
        return box != nullptr && box->isVisible() && box->text() == "Network Error occurred";
    }

    std::unique_ptr<e2e::Simulator> simulator;
    QString logPath;
    uint16_t port = 0;
};

TEST_F(MainDialogSession, AddConnectSearchControlAndClose) {
    open();
    dialog->show();
    ASSERT_EQ(combo(kDeviceCombo)->count(), 0);

    // Add the recorder through the real setup dialog.
    bool filled = false;
    onNextModal([&](QWidget* setup) {
        ASSERT_EQ(setup->windowTitle(), "Setup");
        qobject_cast<QLineEdit*>(findControl(setup, 1026))->setText("Simulator");
        qobject_cast<QLineEdit*>(findControl(setup, 1017))->setText("admin");
        qobject_cast<QLineEdit*>(findControl(setup, 1019))->setText("1234");
        qobject_cast<QCheckBox*>(findControl(setup, 1033))->click();  // Use STATIC
        qobject_cast<QLineEdit*>(findControl(setup, 1030))->setText("127.0.0.1");
        qobject_cast<QLineEdit*>(findControl(setup, 1013))->setText(QString::number(port));
        filled = true;
        qobject_cast<QPushButton*>(findControl(setup, 1035))->click();  // SAVE
    });
    click(kAddDevice);
    ASSERT_TRUE(filled);
    ASSERT_EQ(entries(kDeviceCombo), QStringList({"Simulator"}));
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(dialog->workingRecord().port, port);

    // Connect: the question, then live video of channel 1 (entry 0).
    dialog->tabControl()->setCurrentIndex(kPageConnect);
    auto answer = answerNextBox(QMessageBox::Ok);
    click(kConnect);
    ASSERT_TRUE(answer->seen);
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    ASSERT_TRUE(logged("LOGIN account=admin ok=1"));
    EXPECT_EQ(entries(kChannelCombo), QStringList({"01 CH", "02 CH", "03 CH", "04 CH"}));
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));

    const QString screenshots = qEnvironmentVariable("ORVIX_SCREENSHOT_DIR");
    if (!screenshots.isEmpty()) {
        // A picture drawn after the first rates period, so the overlay shows
        // the frame rate and the status line its figures.
        ASSERT_TRUE(processUntil([&] { return video()->session().shared().framesPerSecond.load() > 0; }));
        const uint64_t serial = video()->output().handOver().latest().serial;
        ASSERT_TRUE(processUntil([&] { return video()->output().handOver().latest().serial > serial + 1; }));
        ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));
        QDir().mkpath(screenshots);
        // The picture with its overlay, and the status line along its bottom.
        EXPECT_TRUE(dialog->grab().save(QDir(screenshots).filePath("main_dialog.png")));
        // After a refresh the logo and the status line show until the next
        // picture.
        video()->sendMessage(VWM_REFRESH, 0, 0);
        EXPECT_TRUE(dialog->grab().save(QDir(screenshots).filePath("main_dialog_status.png")));
    }

    // Channel 3 (entry 2).
    chooseEntry(combo(kChannelCombo), 2);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 2);
    EXPECT_TRUE(logged("DATA_SEND_REQ flag=0 channels=2"));  // "I only" is off at a first start
    ASSERT_TRUE(processUntil([&] { return showsChannel(2); }));

    // The recorded range, then playback from 10:00:00 and back to live.
    dialog->tabControl()->setCurrentIndex(kPageSearch);
    click(kRecInfoReq);
    ASSERT_TRUE(processUntil([&] { return enabled(kSearchStart); }));
    auto* date = qobject_cast<QDateEdit*>(control(kSearchDate));
    auto* time = qobject_cast<QTimeEdit*>(control(kSearchTime));
    EXPECT_EQ(date->minimumDate(), QDate(2012, 1, 1));
    EXPECT_EQ(date->maximumDate(), QDate(2012, 1, 1));
    EXPECT_EQ(time->maximumTime(), QTime(23, 59, 59));
    EXPECT_FALSE(enabled(kTiltUp));
    time->setTime(QTime(10, 0, 0));
    click(kSearchStart);
    EXPECT_TRUE(logged("SEARCH_TIME 1325412000"));
    EXPECT_TRUE(logged("SEARCH_PLAY_REQ"));
    ASSERT_TRUE(processUntil([&] { return showsChannel(2); }));
    click(kSearchLive);
    EXPECT_TRUE(logged("SEARCH_END_REQ"));
    EXPECT_TRUE(enabled(kTiltUp));

    // Camera control on channel 3, in both direction modes.
    dialog->tabControl()->setCurrentIndex(kPagePanTilt);
    click(kTiltUp);
    EXPECT_TRUE(logged("PTZ channel=2 subcode=2 preset=0 parameter=1"));
    click(kDirectionMode);
    click(kPanLeft);
    EXPECT_TRUE(logged("PTZ channel=2 subcode=1 preset=0 parameter=1"));
    click(kPanTiltStop);
    EXPECT_TRUE(logged("PTZ channel=2 subcode=5 preset=0 parameter=1"));
    dialog->tabControl()->setCurrentIndex(kPageZoomFocus);
    click(kZoomIn);
    EXPECT_TRUE(logged("PTZ channel=2 subcode=8 preset=0 parameter=1"));
    dialog->tabControl()->setCurrentIndex(kPagePreset);
    chooseEntry(combo(kPresetNumber), 2);
    click(kPresetSend);
    EXPECT_TRUE(logged("PTZ channel=2 subcode=18 preset=3 parameter=0"));

    // Alarm output 2 for one minute, then off.
    dialog->tabControl()->setCurrentIndex(kPageAlarm);
    chooseEntry(combo(kAlarmOutput), 2);
    chooseEntry(combo(kAlarmDuration), 4);
    click(kAlarmOn);
    EXPECT_TRUE(logged("ALARM_OUT on=1 output=2 duration=60"));
    click(kAlarmOff);
    EXPECT_TRUE(logged("ALARM_OUT on=0"));

    // Disconnect, then close.
    dialog->tabControl()->setCurrentIndex(kPageConnect);
    click(kConnect);
    EXPECT_FALSE(dialog->isConnected());
    EXPECT_FALSE(video()->session().threadsRunning());
    EXPECT_TRUE(enabled(kAddDevice));
    EXPECT_FALSE(enabled(kRecInfoReq));
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(dialog->deviceList().empty());
    EXPECT_EQ(stored().size(), 1u);
}

TEST_F(MainDialogSession, TheFirstRunFormAddsARecorderThatConnects) {
    open();
    dialog->show();
    FirstRunForm* form = dialog->firstRunForm();
    ASSERT_TRUE(form->isVisible());
    EXPECT_EQ(form->geometry(), video()->geometry());
    EXPECT_EQ(form->portField()->text(), "3000");
    saveScreenshot(dialog.get(), "first_run_form.png");

    // No address: nothing is stored, and the form says why.
    form->saveButton()->click();
    EXPECT_EQ(combo(kDeviceCombo)->count(), 0);
    EXPECT_FALSE(form->problem().isEmpty());

    form->nameField()->setText("Shop");
    form->addressField()->setText("127.0.0.1");
    form->portField()->setText(QString::number(port));
    form->accountField()->setText("admin");
    form->passwordField()->setText("1234");
    form->saveButton()->click();
    emit form->saveRequested();  // an Enter that came after the save
    ASSERT_EQ(entries(kDeviceCombo), QStringList({"Shop"}));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(enabled(kConnect));
    settleStore();
    ASSERT_EQ(stored().size(), 1u);
    const DeviceRecord& added = *dialog->deviceList().at(0);
    EXPECT_EQ(added.useStatic, 1u);
    EXPECT_EQ(added.useDdns, 0u);
    EXPECT_EQ(added.port, port);
    EXPECT_NE(added.id, 0u);

    clickConnect();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    ASSERT_TRUE(logged("LOGIN account=admin ok=1"));
    // "I only" is off on a first start: every picture, not key pictures only.
    EXPECT_EQ(video()->iframeOnly(), 0);
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));

    // Deleting the last recorder brings the form back.
    click(kConnect);
    deleteSelected(QMessageBox::Yes);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainDialogSession, ADdnsAnswerIsNotSavedOverTheRecordersOwnAddress) {
    sim::DdnsOptions options;
    sim::DdnsEntry entry;
    ASSERT_TRUE(sim::parseDdnsEntry("G9FAR=127.0.0.1:" + std::to_string(port), entry));
    options.entries.push_back(entry);
    sim::DdnsSimulator ddns(options);
    std::string error;
    ASSERT_TRUE(ddns.start(&error)) << error;
    // Reached through DDNS; the static address is what the user once entered.
    store({{1, u"Far", u"10.0.0.9", 3009, 0, u"G9FAR", u"127.0.0.1", ddns.port()}});
    open();
    dialog->show();
    auto answer = answerNextBox(QMessageBox::Ok);
    click(kConnect);
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    EXPECT_EQ(dialog->workingRecord().address.view(), u"10.0.0.9");
    click(kConnect);

    // Info Setup, saved as it opens.
    bool saved = false;
    onNextModal([&](QWidget* setup) {
        saved = true;
        qobject_cast<QPushButton*>(findControl(setup, 1035))->click();
    });
    click(kInfoSetup);
    ASSERT_TRUE(saved);
    const LibraryBinding binding = bindLibraries();
    DeviceList list;
    DeviceRecord working;
    initRecord(working);
    loadDeviceList(binding, list, working);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(0)->address.view(), u"10.0.0.9");
    EXPECT_EQ(list.at(0)->port, 3009);
    EXPECT_EQ(list.at(0)->ddnsServer.view(), u"127.0.0.1");
    EXPECT_EQ(list.at(0)->ddnsPort, ddns.port());
    releaseRecordTexts(working);
}

TEST_F(MainDialogSession, ClosingWhileStreamingStopsTheThreads) {
    connectToStoredRecorder();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    dialog->close();
    EXPECT_FALSE(video()->session().threadsRunning());
    EXPECT_FALSE(dialog->isConnected());
    EXPECT_EQ(status(), kStatusDisconnect);
}

TEST_F(MainDialogSession, RecorderResetOrKilledWhileStreamingIsShownAndConnectWorksAgain) {
    simulator.reset();
    startSimulator({"--fault-reset-after", "3"});  // key pictures only: about 3 s
    // A recorder whose reconnect is off: the box tells of the loss.
    connectToStoredRecorder(false);
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));

    // The simulator resets the connection: the status line and the info line
    // say so over the logo, and the box tells the user.
    ASSERT_TRUE(processUntil([&] { return video()->session().linkEnded() && networkErrorShown(); }));
    EXPECT_EQ(status(), kStatusDisconnect);
    EXPECT_EQ(video()->session().statusLine(), "Disconnect");
    EXPECT_EQ(infoLine(), "Connection reset by the recorder");
    EXPECT_FALSE(video()->output().activeView()->isVisible());
    EXPECT_EQ(connectButtonText(), "Disconnect");
    video()->networkErrorBox()->close();

    // Disconnect, then Connect at once: video again.
    click(kConnect);
    EXPECT_EQ(connectButtonText(), "Connect");
    clickConnect();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    EXPECT_TRUE(infoLine().empty());
    ASSERT_TRUE(processUntil([&] { return showsChannel(0); }));

    // Now the recorder program dies. It comes back on the same port; the
    // user disconnects and connects again.
    const uint16_t samePort = port;
    simulator->killNow();
    ASSERT_TRUE(processUntil([&] { return video()->session().linkEnded() && networkErrorShown(); }));
    EXPECT_EQ(status(), kStatusDisconnect);
    const std::string cause = infoLine();
    EXPECT_TRUE(cause == "Connection closed by the recorder" || cause == "Connection reset by the recorder") << cause;
    video()->networkErrorBox()->close();
    startSimulator({}, samePort);
    click(kConnect);
    clickConnect();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk; }));
    click(kConnect);
    EXPECT_FALSE(video()->session().threadsRunning());
}

TEST_F(MainDialogSession, RecorderThatDiesAndReturnsIsReconnectedOnTheSameChannel) {
    // Short delays for the test; the program's are 1, 2, 4 ... 30 s.
    ::setenv("ORVIX_TEST_RECONNECT_MS", "300,1000,5000", 1);
    connectToStoredRecorder(true, 2);
    ASSERT_TRUE(processUntil([&] { return status() == kStatusDataSendOk && showsChannel(2); }));
    EXPECT_TRUE(qobject_cast<QCheckBox*>(control(kAutoReconnect))->isEnabled());
    // The search page is open on the recorded range: the reconnect comes back
    // live and the page says so.
    click(kRecInfoReq);
    ASSERT_TRUE(processUntil([&] { return enabled(kSearchLive); }));
    EXPECT_FALSE(enabled(kPanLeft));

    const uint16_t samePort = port;
    simulator->killNow();
    std::vector<std::string> lines;
    const auto note = [&] {
        const std::string line = video()->session().statusLine();
        if (lines.empty() || lines.back() != line) lines.push_back(line);
    };
    ASSERT_TRUE(processUntil([&] {
        note();
        return video()->session().reconnectPending() >= 2;  // an attempt was refused meanwhile
    }));
    startSimulator({}, samePort);
    ASSERT_TRUE(processUntil([&] {
        note();
        return status() == kStatusDataSendOk && showsChannel(2);
    }));
    ::unsetenv("ORVIX_TEST_RECONNECT_MS");
    const auto seen = [&](const std::string& prefix) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(seen("Reconnecting in 1 s (attempt 1)"));
    EXPECT_TRUE(seen("Reconnecting in 1 s (attempt 2)"));
    EXPECT_TRUE(seen("Connect Req Ip:127.0.0.1"));
    EXPECT_EQ(lines.back().rfind("Data Send OK", 0), 0u) << lines.back();
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 2);
    EXPECT_EQ(qobject_cast<QComboBox*>(control(kChannelCombo))->currentIndex(), 2);
    EXPECT_FALSE(enabled(kSearchLive));
    EXPECT_FALSE(enabled(kSearchStart));
    EXPECT_TRUE(enabled(kPanLeft));
    // Told on the lines only: no box is left open.
    EXPECT_EQ(video()->networkErrorBox(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(connectButtonText(), "Disconnect");
    click(kConnect);
    EXPECT_FALSE(video()->session().threadsRunning());
}

TEST_F(MainDialogSession, ARetryStuckAtAStepOfConnectingEndsAndTheNextBringsVideoBack) {
    // Short delays and a 0.7 s deadline for each answer; the program's are
    // 1, 2, 4 ... 30 s and 10 s.
    ::setenv("ORVIX_TEST_RECONNECT_MS", "300,600,5000,700", 1);
    struct Stuck {
        std::vector<std::string> fault;  // on the recorder's second connection
        bool silentDdns;                 // instead: the DDNS server's second connection gets no answer
        QString logged;
        std::string cause;               // the info line while the next attempt waits
    };
    const std::string recorderAt = "127.0.0.1:";
    const std::vector<Stuck> cases = {
        {{"--fault-mute-before", "connect-ok"}, false, "MUTED before CONNECT_OK", "No connect answer from "},
        {{"--fault-mute-before", "login"}, false, "MUTED before the login answer", "No login answer from "},
        {{"--fault-mute-before", "data-send"}, false, "MUTED before the data-send answer", "No data-send answer from "},
        {{"--fault-junk-after-login"}, false, "JUNK after login", "No data-send answer from "},
        {{}, true, "", "No DDNS answer from the DDNS server "},
    };
    for (const Stuck& stuck : cases) {
        SCOPED_TRACE(stuck.cause);
        simulator.reset();
        std::vector<std::string> options = {"--fault-reset-after", "2"};  // key pictures only: about 2 s
        if (!stuck.fault.empty()) {
            options.insert(options.end(), stuck.fault.begin(), stuck.fault.end());
            options.insert(options.end(), {"--fault-on-connection", "2"});
        }
        startSimulator(options);
        std::unique_ptr<sim::DdnsSimulator> ddns;
        std::string stuckAt = recorderAt + std::to_string(port);
        if (stuck.silentDdns) {
            sim::DdnsOptions ddnsOptions;
            sim::DdnsEntry entry;
            ASSERT_TRUE(sim::parseDdnsEntry("G9TEST=127.0.0.1:" + std::to_string(port), entry));
            ddnsOptions.entries.push_back(entry);
            ddnsOptions.silentConnection = 2;
            ddns = std::make_unique<sim::DdnsSimulator>(ddnsOptions);
            std::string error;
            ASSERT_TRUE(ddns->start(&error)) << error;
            stuckAt = recorderAt + std::to_string(ddns->port());
            store({{1, u"Via DDNS", u"", 3000, 0, u"G9TEST", u"127.0.0.1", ddns->port()}});
            open();
            dialog->show();
            clickConnect();
        } else {
            connectToStoredRecorder();
        }
        // Video, the reset, a retry that gets stuck and ends, then video
        // again from the next one.
        std::vector<std::string> infos;
        ASSERT_TRUE(processUntil([&] {
            const std::string line = infoLine();
            if (infos.empty() || infos.back() != line) infos.push_back(line);
            return status() == kStatusDataSendOk && line.rfind("Reconnected after: ", 0) == 0;
        }));
        const std::string cause = stuck.cause + stuckAt + " in 0.7 s";
        EXPECT_NE(std::find(infos.begin(), infos.end(), cause), infos.end()) << infos.back();
        if (stuck.silentDdns) {
            EXPECT_EQ(ddns->log().count("SILENT after ready"), 1u);
        } else {
            EXPECT_TRUE(logHolds(stuck.logged));
        }
        EXPECT_EQ(video()->networkErrorBox(), nullptr);
        click(kConnect);
        EXPECT_FALSE(video()->session().threadsRunning());
        dialog->close();
        dialog.reset();
    }
    ::unsetenv("ORVIX_TEST_RECONNECT_MS");
}

TEST_F(MainDialogSession, RefusedConnectIsShownAsConnectFail) {
    const uint16_t gone = port;
    simulator.reset();
    connectToStoredRecorder();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusConnectFail; }));
    EXPECT_EQ(video()->session().statusLine(), "Connect FAIL");
    EXPECT_EQ(infoLine(), "Connection refused by 127.0.0.1:" + std::to_string(gone));
    EXPECT_EQ(video()->statusLines().infoText.toStdString(),
              "Connection refused by 127.0.0.1:" + std::to_string(gone) +
                  " - Check the address, or that the recorder is on");
    // The status line says it; no box for a connect that never got there.
    processUntil([] { return false; }, 300);
    EXPECT_EQ(video()->networkErrorBox(), nullptr);
    click(kConnect);
    EXPECT_EQ(connectButtonText(), "Connect");
    EXPECT_TRUE(enabled(kAddDevice));
}

TEST_F(MainDialogSession, ARefusedLoginSaysWhereToCheckTheAccount) {
    startSimulator({"--password", "other"});
    connectToStoredRecorder();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusLoginFail; }));
    EXPECT_TRUE(video()->statusLines().infoText.endsWith("Check the account and password with Info Setup"))
        << video()->statusLines().infoText.toStdString();
}

TEST_F(MainDialogSession, UnansweredConnectAndDdnsLoopAreShownAsConnectFail) {
    // A recorder address that never answers: after 10 s "Connect FAIL" with
    // the reason, and no box.
    const test::StalledListener stalled;
    store({{1, u"Silent", u"127.0.0.1", stalled.port()}});
    open();
    dialog->show();
    clickConnect();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusConnectFail; }, 20000));
    EXPECT_EQ(video()->session().statusLine(), "Connect FAIL");
    EXPECT_EQ(infoLine(), "No answer from 127.0.0.1:" + std::to_string(stalled.port()));
    EXPECT_EQ(video()->networkErrorBox(), nullptr);
    click(kConnect);
    EXPECT_EQ(connectButtonText(), "Connect");

    // A DDNS server that names itself as the recorder: followed once, then
    // the link stops with the reason instead of going round for ever.
    uint16_t selfPort = 0;
    {
        const test::LoopbackListener probe;
        selfPort = probe.port();
    }
    sim::DdnsOptions options;
    options.port = selfPort;
    sim::DdnsEntry entry;
    ASSERT_TRUE(sim::parseDdnsEntry("G9SELF=127.0.0.1:" + std::to_string(selfPort), entry));
    options.entries.push_back(entry);
    sim::DdnsSimulator ddns(options);
    std::string error;
    ASSERT_TRUE(ddns.start(&error)) << error;
    dialog->close();
    dialog.reset();
    store({{1, u"Circle", u"", 3000, 0, u"G9SELF", u"127.0.0.1", selfPort}});
    open();
    dialog->show();
    clickConnect();
    ASSERT_TRUE(processUntil([&] { return status() == kStatusConnectFail; }, 20000));
    EXPECT_EQ(infoLine(), "DDNS loop: 127.0.0.1:" + std::to_string(selfPort) + " is a DDNS server, not a recorder");
    EXPECT_EQ(video()->networkErrorBox(), nullptr);
    click(kConnect);
    EXPECT_FALSE(video()->session().threadsRunning());
}

}  // namespace
