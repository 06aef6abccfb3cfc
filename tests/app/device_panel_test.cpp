// The "Device" and "Connect" pages: selection, add, edit and delete through
// the setup dialog and the store, connecting and disconnecting, channels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <sqlite3.h>

#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"
#include "link/wire_format.h"
#include "tests/app/main_dialog_support.h"
#include "tests/gui/failing_allocation.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class DevicePanelTest : public MainDialogTest {
protected:
    // A setup dialog that saves `name` (a new recorder gets `newId`) or,
    // with an empty name, cancels the way the real one does.
    std::unique_ptr<ScriptedSetup> scriptSetup(const std::u16string& name, uint32_t newId = 500,
                                               int32_t channelAfter = -1) {
        return std::make_unique<ScriptedSetup>(*dialog, [=](DeviceRecord& record, int32_t, int32_t mode) {
            if (mode == 0) resetStoredFields(record);
            if (channelAfter >= 0) record.currentChannel = channelAfter;
            if (name.empty()) {
                record.id = 0;
                return;
            }
            setText(record.name, name);
            if (mode == 0) record.id = newId;
        });
    }
    uint32_t selectedId() { return combo(kDeviceCombo)->currentData().toUInt(); }
};

TEST_F(DevicePanelTest, ChoosingARecorderCopiesItsStoredFieldsOnly) {
    store({{7, u"Gate", u"10.0.0.7", 3007}, {9, u"Yard", u"10.0.0.9", 3009}});
    open();
    DeviceRecord& working = dialog->workingRecord();
    working.cameraCount = 5;
    working.currentChannel = 3;
    chooseEntry(combo(kDeviceCombo), 1);
    EXPECT_EQ(working.id, 9u);
    EXPECT_EQ(working.address.view(), u"10.0.0.9");
    EXPECT_EQ(working.port, 3009);
    EXPECT_EQ(working.cameraCount, 5);
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 3);
    EXPECT_EQ(dialog->deviceList().at(1)->owner, nullptr);
}

TEST_F(DevicePanelTest, AddingAppendsSelectsAndSaves) {
    store({{7, u"Gate"}});
    open();
    auto setup = scriptSetup(u"Dock", 500);
    click(kAddDevice);
    EXPECT_EQ(setup->calls(), 1);
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"Gate", "Dock"}));
    EXPECT_EQ(combo(kDeviceCombo)->currentIndex(), 1);
    EXPECT_EQ(selectedId(), 500u);
    ASSERT_EQ(dialog->deviceList().size(), 2u);
    EXPECT_EQ(dialog->deviceList().at(1)->name.view(), u"Dock");
    EXPECT_EQ(stored(), (std::vector<std::pair<uint32_t, std::u16string>>{{7, u"Gate"}, {500, u"Dock"}}));
    EXPECT_TRUE(enabled(kConnect));
}

TEST_F(DevicePanelTest, TwoRecordersSavedInTheSameSecondGetDistinctIds) {
    store({{500, u"Gate"}});
    open();
    auto setup = scriptSetup(u"Dock", 500);
    click(kAddDevice);
    EXPECT_EQ(dialog->workingRecord().id, 501u);
    click(kAddDevice);
    EXPECT_EQ(dialog->workingRecord().id, 502u);
    EXPECT_EQ(itemData(kDeviceCombo), std::vector<int>({500, 501, 502}));
    // Each entry finds its own recorder.
    chooseEntry(combo(kDeviceCombo), 1);
    EXPECT_EQ(dialog->workingRecord().id, 501u);
    deleteSelected(QMessageBox::Yes);
    EXPECT_EQ(stored(), (std::vector<std::pair<uint32_t, std::u16string>>{{500, u"Gate"}, {502, u"Dock"}}));
}

TEST_F(DevicePanelTest, ARecorderAnotherProgramGaveTheSameIdMeanwhileGetsANewOne) {
    open();
    store({{600, u"Other"}});  // another program, after this one loaded
    auto setup = scriptSetup(u"Dock", 600);
    click(kAddDevice);
    settleStore();
    EXPECT_EQ(itemData(kDeviceCombo), std::vector<int>({601}));
    EXPECT_EQ(dialog->workingRecord().id, 601u);
    EXPECT_EQ(stored(), (std::vector<std::pair<uint32_t, std::u16string>>{{600, u"Other"}, {601, u"Dock"}}));
    deleteSelected(QMessageBox::Yes);
    EXPECT_EQ(stored(), (std::vector<std::pair<uint32_t, std::u16string>>{{600, u"Other"}}));
}

TEST_F(DevicePanelTest, ACancelledAddLeavesTheSelectedRecorderInTheWorkingRecord) {
    store({{7, u"Gate", u"10.0.0.7", 3007}, {9, u"Yard", u"10.0.0.9", 3009}});
    open();
    chooseEntry(combo(kDeviceCombo), 1);
    auto setup = scriptSetup(u"");
    const auto before = controlStates();
    click(kAddDevice);
    EXPECT_EQ(dialog->deviceList().size(), 2u);
    EXPECT_EQ(dialog->workingRecord().id, 9u);
    EXPECT_EQ(dialog->workingRecord().name.view(), u"Yard");
    EXPECT_EQ(dialog->workingRecord().address.view(), u"10.0.0.9");
    EXPECT_EQ(dialog->workingRecord().port, 3009);
    EXPECT_EQ(controlStates(), before);
}

TEST_F(DevicePanelTest, ACancelledAddOnAnEmptyListStaysWithoutDevice) {
    open();
    auto setup = scriptSetup(u"");
    click(kAddDevice);
    EXPECT_EQ(combo(kDeviceCombo)->count(), 0);
    for (const auto& [id, on] : controlStates()) EXPECT_EQ(on, id == kAddDevice) << id;
}

TEST_F(DevicePanelTest, AnEditClampsAChannelOutOfRangeAndRewritesTheEntry) {
    store({{7, u"Gate"}, {9, u"Yard"}});
    open();
    auto setup = scriptSetup(u"Gate 2", 0, 20);
    dialog->workingRecord().cameraCount = 4;
    click(kInfoSetup);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 15);
    EXPECT_EQ(combo(kChannelCombo)->currentText(), "16 CH");
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"Gate 2", "Yard"}));
    EXPECT_EQ(combo(kDeviceCombo)->currentIndex(), 0);
    EXPECT_EQ(dialog->workingRecord().cameraCount, 4);
    EXPECT_EQ(stored()[0].second, u"Gate 2");
}

TEST_F(DevicePanelTest, ACancelledEditCopiesTheSelectedRecorderBack) {
    store({{7, u"Gate"}, {9, u"Yard"}});
    open();
    auto setup = std::make_unique<ScriptedSetup>(*dialog, [](DeviceRecord& record, int32_t, int32_t) {
        setText(record.name, u"typed, then cancelled");
        record.id = 0;
    });
    click(kInfoSetup);
    EXPECT_EQ(dialog->workingRecord().id, 7u);
    EXPECT_EQ(dialog->workingRecord().name.view(), u"Gate");
    EXPECT_TRUE(enabled(kConnect));
}

TEST_F(DevicePanelTest, RecordsThatSharedAnIdInTheFileAreToldApart) {
    // Two rows with one id, as writers of earlier versions could leave them.
    store({{7, u"One"}, {8, u"Two"}, {9, u"Three"}});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((config.path() + "/orvix/devices.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE devices SET id = 7 WHERE name = 'Two'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    open();
    EXPECT_EQ(itemData(kDeviceCombo), std::vector<int>({7, 8, 9}));
    chooseEntry(combo(kDeviceCombo), 1);
    EXPECT_EQ(dialog->workingRecord().name.view(), u"Two");
    auto setup = scriptSetup(u"Two 2");
    click(kInfoSetup);
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"One", "Two 2", "Three"}));
    EXPECT_EQ(stored(), (std::vector<std::pair<uint32_t, std::u16string>>{{7, u"One"}, {8, u"Two 2"}, {9, u"Three"}}));
}

TEST_F(DevicePanelTest, DeletingTheFirstSelectsTheNewFirstAndTheThirdTheSecond) {
    store({{1, u"A"}, {2, u"B"}, {3, u"C"}});
    open();
    dialog->workingRecord().currentChannel = 4;
    deleteSelected(QMessageBox::Yes);
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"B", "C"}));
    EXPECT_EQ(combo(kDeviceCombo)->currentIndex(), 0);
    EXPECT_EQ(dialog->workingRecord().id, 2u);
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 4);
    EXPECT_EQ(stored().size(), 2u);

    store({{1, u"A"}, {2, u"B"}, {3, u"C"}});
    open();
    chooseEntry(combo(kDeviceCombo), 2);
    deleteSelected(QMessageBox::Yes);
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"A", "B"}));
    EXPECT_EQ(combo(kDeviceCombo)->currentIndex(), 1);
    EXPECT_EQ(dialog->workingRecord().id, 2u);
}

TEST_F(DevicePanelTest, DeletingTheOnlyRecorderSavesAnEmptyList) {
    store({{1, u"A"}});
    open();
    deleteSelected(QMessageBox::Yes);
    EXPECT_EQ(combo(kDeviceCombo)->count(), 0);
    EXPECT_TRUE(dialog->deviceList().empty());
    EXPECT_TRUE(stored().empty());
    for (const auto& [id, on] : controlStates()) EXPECT_EQ(on, id == kAddDevice) << id;
}

TEST_F(DevicePanelTest, CancellingTheQuestionChangesNothing) {
    store({{1, u"A"}});
    open();
    dialog->workingRecord().currentChannel = 3;
    const auto before = controlStates();
    auto answer = answerNextBox(QMessageBox::Cancel);
    click(kConnect);
    ASSERT_TRUE(answer->seen);
    EXPECT_EQ(answer->caption, "Question");
    EXPECT_EQ(answer->text,
              "Connection to network. \nIt can charge you the cost. \nThe program may not response max 25 secs.");
    EXPECT_EQ(controlStates(), before);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 3);
    EXPECT_FALSE(dialog->isConnected());
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(DevicePanelTest, ConnectStartsTheLinkOnTheChosenChannelAndDisconnectStopsIt) {
    store({{1, u"A"}});
    open();
    chooseEntry(combo(kChannelCombo), 3);
    takeSent();
    connectStreaming();
    const auto messages = takeSent();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, VWM_CONNECT);
    EXPECT_EQ(messages[0].wParam, reinterpret_cast<WParam>(&dialog->workingRecord()));
    EXPECT_EQ(messages[1].message, VWM_LINK_START);
    EXPECT_EQ(qobject_cast<QPushButton*>(control(kConnect))->text(), "Disconnect");
    // The recorder has four cameras: channel 4 stays chosen.
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 3);
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 3);
    for (const auto& [id, on] : controlStates()) {
        const bool off = id == kDeviceCombo || id == kAddDevice || id == kDeleteDevice || id == kInfoSetup ||
                         id == kSearchStart || id == kSearchLive || id == kSearchDate || id == kSearchTime;
        EXPECT_EQ(on, !off) << id;
    }

    click(kConnect);
    ASSERT_EQ(takeSent().front().message, VWM_DISCONNECT);
    EXPECT_FALSE(dialog->isConnected());
    for (const auto& [id, on] : controlStates()) {
        const bool idle = id == kDeviceCombo || id == kAddDevice || id == kDeleteDevice || id == kInfoSetup ||
                          id == kConnect || id == kChannelCombo || id == kIFrameOnly;
        EXPECT_EQ(on, idle) << id;
    }
}

TEST_F(DevicePanelTest, TheChannelListFollowsTheModelOnceConnected) {
    store({{1, u"A"}});
    open();
    connectStreaming();
    DeviceRecord& working = dialog->workingRecord();
    working.modelIndex = 10;
    working.cameraCount = 0;  // no cameras described: the model decides
    working.currentChannel = 2;
    EXPECT_EQ(dialog->sendMessage(VWM_CONNECTED, reinterpret_cast<WParam>(&working), 0), 1);
    EXPECT_EQ(entries(kChannelCombo),
              QStringList({"01 CH", "02 CH", "03 CH", "04 CH", "05 CH", "06 CH", "07 CH", "08 CH"}));
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 2);
    EXPECT_EQ(working.currentChannel.load(), 2);

    takeSent();
    chooseEntry(combo(kChannelCombo), 7);
    EXPECT_EQ(working.currentChannel.load(), 7);
    auto messages = takeSent();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, VWM_SET_CHANNEL);
    EXPECT_EQ(messages[0].wParam, 7u);
    EXPECT_EQ(messages[0].lParam, 0);

    // A model without live channels leaves the combo empty; "I only" then
    // keeps the channel rather than asking for none.
    working.modelIndex = 5;
    dialog->sendMessage(VWM_CONNECTED, reinterpret_cast<WParam>(&working), 0);
    EXPECT_EQ(combo(kChannelCombo)->count(), 0);
    click(kIFrameOnly);
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 1);
    EXPECT_EQ(working.currentChannel.load(), 7);
    messages = takeSent();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, VWM_SET_CHANNEL);
    EXPECT_EQ(messages[0].wParam, 7u);
    EXPECT_EQ(messages[0].lParam, 1);
}

TEST_F(DevicePanelTest, ChannelsAndAlarmOutputsFollowWhatTheRecorderReported) {
    store({{1, u"A"}});
    open();
    chooseEntry(combo(kChannelCombo), 11);  // 12 CH, which this recorder lacks
    // A 16-channel model with 8 cameras and 6 alarm outputs.
    ScriptedRecorder recorder;
    recorder.modelCode = 13;
    recorder.cameras = 8;
    recorder.loginValues[2] = 6;
    connectStreaming(recorder);
    EXPECT_EQ(entries(kChannelCombo),
              QStringList({"01 CH", "02 CH", "03 CH", "04 CH", "05 CH", "06 CH", "07 CH", "08 CH"}));
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 0);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 0);

    EXPECT_EQ(combo(kAlarmOutput)->count(), 129);  // not known before the Alarm page is shown
    dialog->tabControl()->setCurrentIndex(kPageAlarm);
    EXPECT_EQ(entries(kAlarmOutput), QStringList({"ALL", "1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(itemData(kAlarmOutput), std::vector<int>({0, 1, 2, 3, 4, 5, 6}));

    // The next recorder does not say: all 128 again.
    click(kConnect);
    ScriptedRecorder plain;
    plain.loginValues[2] = 0;
    connectStreaming(plain);
    dialog->tabControl()->setCurrentIndex(kPageDevice);
    dialog->tabControl()->setCurrentIndex(kPageAlarm);
    EXPECT_EQ(combo(kAlarmOutput)->count(), 129);
}

TEST_F(DevicePanelTest, ARecorderWithoutAStreamTypeIsNotConnectedAndTheUserIsToldWhy) {
    for (int32_t framing : {2, -1}) {
        store({{1, u"A", u"127.0.0.1", 3000, framing}});
        open();
        const auto before = controlStates();
        auto told = answerNextBox(QMessageBox::Ok);
        click(kConnect);
        ASSERT_TRUE(told->seen) << framing;
        EXPECT_TRUE(told->text.contains("stream type")) << told->text.toStdString();
        EXPECT_TRUE(told->text.contains("MPEG4 or H.264"));
        EXPECT_FALSE(dialog->isConnected());
        EXPECT_EQ(qobject_cast<QPushButton*>(control(kConnect))->text(), "Connect");
        EXPECT_EQ(controlStates(), before);
        EXPECT_TRUE(takeSent().empty());
    }
}

TEST_F(DevicePanelTest, AFailedSetUpIsToldLeavesTheDialogDisconnectedAndIsNotRemembered) {
    store({{1, u"A"}});
    open();
    std::shared_ptr<BoxAnswer> question;
    std::shared_ptr<BoxAnswer> told;
    onNextModal([&](QWidget* box) {
        // After the question, the set-up's outcome.
        told = answerNextBox(QMessageBox::Ok);
        question = std::make_shared<BoxAnswer>();
        question->seen = true;
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
    });
    {
        FailingArrayAllocation failing(kSendPayloadSize);
        click(kConnect);
    }
    ASSERT_TRUE(question && question->seen);
    ASSERT_TRUE(told && told->seen);
    EXPECT_TRUE(told->text.contains("could not be set up")) << told->text.toStdString();
    EXPECT_FALSE(dialog->isConnected());
    const auto messages = takeSent();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, VWM_CONNECT);
    EXPECT_EQ(messages[1].message, VWM_DISCONNECT);  // frees what the set-up made
    for (const auto& [id, on] : controlStates()) {
        const bool idle = id == kDeviceCombo || id == kAddDevice || id == kDeleteDevice || id == kInfoSetup ||
                          id == kConnect || id == kChannelCombo || id == kIFrameOnly;
        EXPECT_EQ(on, idle) << id;
    }
    // The next Connect links as usual.
    connectStreaming();
    EXPECT_EQ(dialog->videoWindow()->setUpFailed(), 0);
}

TEST_F(DevicePanelTest, DeletingAsksFirstAndNoKeepsTheRecorder) {
    store({{1, u"Gate"}, {2, u"Yard"}});
    open();
    chooseEntry(combo(kDeviceCombo), 1);
    auto answer = deleteSelected(QMessageBox::No);
    EXPECT_EQ(answer->text, "Delete recorder Yard?");
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"Gate", "Yard"}));
    EXPECT_EQ(stored().size(), 2u);
    EXPECT_EQ(dialog->workingRecord().id, 2u);

    deleteSelected(QMessageBox::Yes);
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"Gate"}));
    EXPECT_EQ(stored(), (std::vector<std::pair<uint32_t, std::u16string>>{{1, u"Gate"}}));
}

TEST_F(DevicePanelTest, IOnlySetsTheVideoWindowsFlagAndRequestsTheChosenChannel) {
    store({{1, u"A"}});
    open();
    chooseEntry(combo(kChannelCombo), 5);
    takeSent();
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 0);
    click(kIFrameOnly);
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 1);
    click(kIFrameOnly);
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 0);
    const auto messages = takeSent();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].message, VWM_SET_CHANNEL);
    EXPECT_EQ(messages[1].wParam, 5u);
    EXPECT_EQ(messages[1].lParam, 1);
}

TEST_F(DevicePanelTest, ClosingWhileConnectedDisconnectsWaitsAndFreesTheList) {
    store({{1, u"A"}, {2, u"B"}});
    open();
    dialog->show();
    connectStreaming();
    takeSent();
    QElapsedTimer timer;
    timer.start();
    dialog->close();
    EXPECT_GE(timer.elapsed(), C_Main_Dlg::kExitWaitMs);
    const auto messages = takeSent();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].message, VWM_DISCONNECT);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->isConnected());
    EXPECT_TRUE(dialog->deviceList().empty());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(stored().size(), 2u);  // the list is not saved on exit, nor lost
}

TEST_F(DevicePanelTest, EscapeWhileIdleClosesWithoutDisconnecting) {
    store({{1, u"A"}});
    open();
    dialog->show();
    dialog->reject();
    EXPECT_TRUE(takeSent().empty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(dialog->deviceList().empty());
}

}  // namespace

TEST_F(DevicePanelTest, ReconnectBoxIsStoredWithEachRecorderAndGivenToTheSession) {
    store({{7, u"Gate"}, {9, u"Yard"}});
    open();
    auto* box = qobject_cast<QCheckBox*>(control(kAutoReconnect));
    // On for recorders that never had the setting.
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(box->isEnabled());
    chooseEntry(combo(kDeviceCombo), 1);
    click(kAutoReconnect);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(dialog->workingRecord().autoReconnectOff, 1u);
    EXPECT_FALSE(dialog->videoWindow()->session().reconnectPolicy().enabled);

    // Read back from the store: only the recorder it was cleared for.
    open();
    box = qobject_cast<QCheckBox*>(control(kAutoReconnect));
    EXPECT_TRUE(box->isChecked());
    chooseEntry(combo(kDeviceCombo), 1);
    EXPECT_FALSE(box->isChecked());
    chooseEntry(combo(kDeviceCombo), 0);
    EXPECT_TRUE(box->isChecked());
    // Ticked again: the session reconnects from its next loss.
    click(kAutoReconnect);
    click(kAutoReconnect);
    EXPECT_TRUE(dialog->videoWindow()->session().reconnectPolicy().enabled);
}

namespace {

// Whether a modal box opened while `act` ran; one that did is cancelled.
bool askedDuring(const std::function<void()>& act) {
    bool asked = false;
    QTimer::singleShot(50, [&asked] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            asked = true;
            modal->close();
        }
    });
    act();
    processUntil([] { return false; }, 100);
    return asked;
}

TEST_F(DevicePanelTest, DoNotAskAgainHoldsForThatRecorderAcrossARestart) {
    store({{1, u"A"}, {2, u"B"}});
    open();
    onNextModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->checkBox(), nullptr);
        EXPECT_EQ(box->checkBox()->text(), "Do not ask again for this recorder");
        box->checkBox()->setChecked(true);
        box->button(QMessageBox::Ok)->click();
    });
    click(kConnect);
    EXPECT_TRUE(dialog->isConnected());
    click(kConnect);
    dialog->close();

    open();
    EXPECT_FALSE(askedDuring([&] { click(kConnect); }));
    EXPECT_TRUE(dialog->isConnected());
    click(kConnect);
    // Another recorder still asks.
    chooseEntry(combo(kDeviceCombo), 1);
    EXPECT_TRUE(askedDuring([&] { click(kConnect); }));
    EXPECT_FALSE(dialog->isConnected());
}

TEST_F(DevicePanelTest, TheFirstRecorderAddedShowsItsReconnectSetting) {
    open();
    auto setup = scriptSetup(u"First");
    click(kAddDevice);
    ASSERT_EQ(dialog->deviceList().size(), 1u);
    EXPECT_EQ(dialog->deviceList().at(0)->autoReconnectOff, 0);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(control(kAutoReconnect))->isChecked());
}

TEST_F(DevicePanelTest, AConnectionStartsWithoutTheInfoLineOfBefore) {
    store({{1, u"A"}});
    open();
    dialog->takeSnapshot();
    EXPECT_EQ(dialog->videoWindow()->session().infoLine(), "Snapshot: no picture is shown");
    connectStreaming();
    EXPECT_EQ(dialog->videoWindow()->session().infoLine(), "");
}

}  // namespace
