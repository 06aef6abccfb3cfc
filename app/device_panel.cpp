// The "Device" and "Connect" pages: the device combo in step with the
// device list, adding, editing and deleting recorders through the setup
// dialog and the store, connecting and disconnecting, the live channel and
// the I-frame-only mode.
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "app/c_main_dlg.h"
#include "app/channel_entries.h"
#include "app/main_dialog_ids.h"
#include "core/debug_log.h"
#include "gui/c_draw_static.h"
#include "gui/grid_layout.h"

namespace orvix {
namespace {

constexpr int32_t kSetupModeAdd = 0;
constexpr int32_t kSetupModeEdit = 1;

}  // namespace

void C_Main_Dlg::addDeviceEntry(const DeviceRecord& record) {
    deviceCombo_->addItem(QString::fromStdU16String(std::u16string(record.name.view())), record.id);
}

bool C_Main_Dlg::copySelectedDevice() {
    const int index = deviceCombo_->currentIndex();
    if (index < 0) return false;
    const uint32_t id = deviceCombo_->itemData(index).toUInt();
    if (id == 0) return false;
    const DeviceRecord* record = devices_.findById(id);
    if (record == nullptr) return false;
    copyRecord(working_, *record);
    showReconnectSetting();
    return true;
}

void C_Main_Dlg::showReconnectSetting() {
    qobject_cast<QCheckBox*>(control(kAutoReconnect))->setChecked(working_.autoReconnectOff == 0);
}

void C_Main_Dlg::applyReconnectSetting() {
    video_->session().setReconnect(reconnectPolicyFromEnvironment(working_.autoReconnectOff == 0));
}

void C_Main_Dlg::onAutoReconnectClicked() {
    const bool on = qobject_cast<QCheckBox*>(control(kAutoReconnect))->isChecked();
    working_.autoReconnectOff = on ? 0 : 1;
    applyReconnectSetting();
    DeviceRecord* stored = devices_.findById(working_.id);
    if (stored == nullptr) return;
    stored->autoReconnectOff = working_.autoReconnectOff;
    saveDevices();
}

void C_Main_Dlg::saveDevices() {
    // The store saves on its own thread; what it has to say comes back as
    // an outcome.
    store_->save(devices_, working_);
    followStoredIds();
}

void C_Main_Dlg::onStoreOutcome(const StoreQueue::Outcome& outcome) {
    if (outcome.kind == kNodraPassword) {
        onPasswordFetched(outcome);
        return;
    }
    for (const NodraIdChange& change : outcome.idChanges) {
        for (DeviceRecord* record : devices_.entries()) {
            if (record == change.record && record->id == change.from) record->id = change.to;
        }
    }
    followStoredIds();
    if (!outcome.notice.empty()) showNotice(outcome.notice);
    showPasswordNotice(outcome.passwordNotice);
}

void C_Main_Dlg::onPasswordFetched(const StoreQueue::Outcome& outcome) {
    if (awaitingPassword_ == nullptr || outcome.record != awaitingPassword_) return;
    awaitingPassword_ = nullptr;
    setInfoLine(QString());
    // Another recorder was chosen, or connected, meanwhile.
    if (isConnected() || devices_.findById(working_.id) != outcome.record) return;
    if (!outcome.ok) {
        // As without a keyring: the store's notice says why, and no login is
        // tried that could only fail.
        showNotice(outcome.notice.empty() ? std::string("The keyring gave no password for this recorder.")
                                          : outcome.notice);
        return;
    }
    setText(working_.password, outcome.password);
    startConnection();
}

void C_Main_Dlg::followStoredIds() {
    // The store gives a recorder another id when another recorder in the
    // file has its id (another program added one in the same second): the
    // combo's entries, in list order, and what is kept by id follow.
    const int selected = deviceCombo_->currentIndex();
    const int count = std::min(deviceCombo_->count(), static_cast<int>(devices_.size()));
    for (int i = 0; i < count; ++i) {
        const uint32_t was = deviceCombo_->itemData(i).toUInt();
        const uint32_t now = devices_.at(static_cast<size_t>(i))->id;
        if (was == now) continue;
        deviceCombo_->setItemData(i, now);
        if (i == selected && working_.id == was) working_.id = now;
        if (connectWithoutAsking_.erase(was) != 0) connectWithoutAsking_.insert(now);
        auto choice = gridChoices_.extract(was);
        if (!choice.empty()) {
            choice.key() = now;
            gridChoices_.insert(std::move(choice));
        }
    }
}

void C_Main_Dlg::fillChannels(int count) {
    channelCombo_->clear();
    for (int i = 0; i < count; ++i) channelCombo_->addItem(QStringLiteral("%1 CH").arg(i + 1, 2, 10, QLatin1Char('0')), i);
}

void C_Main_Dlg::fillChannelsAndSelectCurrent() {
    fillChannels(kDefaultChannelEntries);
    // A channel outside the list leaves the combo without a selection.
    channelCombo_->setCurrentIndex(working_.currentChannel.load());
}

int C_Main_Dlg::channelOfSelection() const {
    const int index = channelCombo_->currentIndex();
    return index >= 0 ? channelCombo_->itemData(index).toInt() : -1;
}

void C_Main_Dlg::onDeviceSelected() {
    if (copySelectedDevice()) {
        applyControlState(ControlState::DeviceIdle);
        fillChannelsAndSelectCurrent();
        restoreView();
    } else {
        applyControlState(ControlState::NoDevice);
    }
}

void C_Main_Dlg::onAddDevice() {
    runSetupDialog(binding_, working_, variant_, kSetupModeAdd);
    if (working_.id != 0) {
        addWorkingRecord();
    } else {
        // The dialog reset the working record for a new recorder; the combo
        // still shows the selected one, which a later Connect must use.
        copySelectedDevice();
    }
    showFirstRunForm();
    if (devices_.empty()) {
        applyControlState(ControlState::NoDevice);
        return;
    }
    fillChannelsAndSelectCurrent();
}

void C_Main_Dlg::addWorkingRecord() {
    // Two recorders saved within one second get the same clock id; the
    // later one takes the next free id so that lookups tell them apart.
    working_.id = devices_.uniqueId(working_.id);
    DeviceRecord* record = createRecord();
    copyRecord(*record, working_);
    addDeviceEntry(*record);
    deviceCombo_->setCurrentIndex(deviceCombo_->count() - 1);
    devices_.append(record);
    showReconnectSetting();
    applyControlState(ControlState::DeviceIdle);
    saveDevices();
}

void C_Main_Dlg::onEditDevice() {
    runSetupDialog(binding_, working_, variant_, kSetupModeEdit);
    if (working_.id == 0) {
        // Cancelled: back to the selected recorder's stored fields.
        applyControlState(copySelectedDevice() ? ControlState::DeviceIdle : ControlState::NoDevice);
        return;
    }
    fillChannels(kDefaultChannelEntries);
    if (static_cast<uint32_t>(working_.currentChannel.load()) >= static_cast<uint32_t>(kDefaultChannelEntries)) {
        working_.currentChannel.store(kDefaultChannelEntries - 1);
    }
    channelCombo_->setCurrentIndex(working_.currentChannel.load());

    deviceCombo_->clear();
    int updated = -1;
    for (DeviceRecord* record : devices_.entries()) {
        if (record->id == working_.id) {
            copyRecord(*record, working_);
            updated = deviceCombo_->count();
        }
        addDeviceEntry(*record);
    }
    saveDevices();
    if (updated >= 0) deviceCombo_->setCurrentIndex(updated);
}

void C_Main_Dlg::onDeleteDevice() {
    const int index = deviceCombo_->currentIndex();
    if (index < 0) return;  // nothing selected, nothing to delete
    // One click would lose the recorder and its settings: ask first.
    QMessageBox question(QMessageBox::Question, QString::fromLatin1(kQuestionCaption),
                         QString::fromLatin1(kStringDeleteQuestion).arg(deviceCombo_->itemText(index)),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setObjectName(QStringLiteral("DeleteQuestion"));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes) return;
    const uint32_t id = deviceCombo_->itemData(index).toUInt();
    connectWithoutAsking_.erase(id);
    deviceCombo_->removeItem(index);
    devices_.removeFirstWithId(id);

    bool copied = false;
    if (deviceCombo_->count() > 0) {
        deviceCombo_->setCurrentIndex(index > 0 ? index - 1 : 0);
        copied = copySelectedDevice();
    } else {
        deviceCombo_->setCurrentIndex(-1);
    }
    if (copied) {
        applyControlState(ControlState::DeviceIdle);
        fillChannelsAndSelectCurrent();
    } else {
        applyControlState(ControlState::NoDevice);
    }
    saveDevices();
    showFirstRunForm();
}

void C_Main_Dlg::onConnectClicked() {
    if (isConnected()) {
        disconnectFromRecorder();
    } else {
        connectToRecorder(true);
    }
}

bool C_Main_Dlg::connectToRecorder(bool ask) {
    // The video window starts nothing for a stream type it does not know:
    // say so rather than showing "Disconnect" over nothing.
    if (static_cast<uint32_t>(working_.framingKind.load()) > 1) {
        tellUser(QString::fromLatin1(kStringStreamTypeUnset));
        return false;
    }
    if (ask && !askBeforeConnecting()) return false;
    // A password kept in the keyring is fetched first, on the store's
    // thread: the window goes on meanwhile.
    DeviceRecord* stored = devices_.findById(working_.id);
    if (stored != nullptr && !store_->passwordReady(devices_, *stored, working_)) {
        awaitingPassword_ = stored;
        setInfoLine(QString::fromLatin1(kWaitingForKeyring));
        return true;
    }
    return startConnection();
}

bool C_Main_Dlg::askBeforeConnecting() {
    if (connectWithoutAsking_.count(working_.id) != 0) return true;
    QMessageBox question(QMessageBox::NoIcon, QString::fromLatin1(kQuestionCaption),
                         QString::fromLatin1(kStringConnectQuestion), QMessageBox::Ok | QMessageBox::Cancel, this);
    question.setObjectName(QStringLiteral("ConnectQuestion"));
    auto* never = new QCheckBox(QString::fromLatin1(kDoNotAskAgainText));
    question.setCheckBox(never);
    if (question.exec() != QMessageBox::Ok) return false;
    if (never->isChecked() && working_.id != 0) {
        connectWithoutAsking_.insert(working_.id);
        // Kept at once, not only when the dialog closes.
        if (!currentSettings().save()) debugLogf("orvix: the settings could not be written\r\n");
    }
    return true;
}

bool C_Main_Dlg::startConnection() {
    // There is no connection manager to ask for a network: the link
    // reports a network that cannot be reached itself.
    applyControlState(ControlState::Connected);
    clearRange();
    // What the info line said before (a snapshot without a picture, an
    // earlier failure) is no news about this connection.
    setInfoLine(QString());
    applyReconnectSetting();
    // Video starts on the channel chosen in the channel list, in the view
    // chosen: the grid's channels are asked for at the login.
    const int channel = channelOfSelection();
    working_.currentChannel.store(channel >= 0 ? channel : 0);
    if (view_ > 1) group_ = groupOf(working_.currentChannel.load(), view_);
    applyView();
    sendToVideo(VWM_CONNECT, reinterpret_cast<WParam>(&working_));
    if (video_->setUpFailed() != 0) {
        // Nothing runs: free what the set-up made and be disconnected again.
        sendToVideo(VWM_DISCONNECT);
        applyControlState(ControlState::AfterDisconnect);
        tellUser(QString::fromLatin1(kStringSetUpFailed));
        return false;
    }
    sendToVideo(VWM_LINK_START);
    qobject_cast<QPushButton*>(control(kConnect))->setText(QString::fromLatin1(kDisconnectText));
    return true;
}

void C_Main_Dlg::disconnectFromRecorder() {
    // The video window has stopped the link when this returns.
    sendToVideo(VWM_DISCONNECT);
    qobject_cast<QPushButton*>(control(kConnect))->setText(QString::fromLatin1(kConnectText));
    applyControlState(ControlState::AfterDisconnect);
    clearRange();
}

void C_Main_Dlg::onChannelChosen() {
    const int channel = channelOfSelection();
    if (channel < 0) return;
    if (video_->gridShown()) {
        // In a grid the channel's tile is selected, in its group.
        if (video_->selectTile(channel)) {
            onTileSelected(channel);
            return;
        }
        working_.currentChannel.store(channel);
        group_ = groupOf(channel, view_);
        applyView();
        rememberView();
        recordNewChannel();
        return;
    }
    working_.currentChannel.store(channel);
    sendToVideo(VWM_SET_CHANNEL, static_cast<WParam>(channel), 0);
    recordNewChannel();
}

void C_Main_Dlg::onIFrameOnlyClicked() {
    const bool checked = qobject_cast<QCheckBox*>(control(kIFrameOnly))->isChecked();
    video_->setIFrameOnly(checked ? 1 : 0);
    // With no channel entry selected (a model without live channels) the
    // channel stays as it is rather than becoming -1.
    int channel = channelOfSelection();
    if (channel < 0) channel = working_.currentChannel.load();
    working_.currentChannel.store(channel);
    sendToVideo(VWM_SET_CHANNEL, static_cast<WParam>(channel), 1);
}

void C_Main_Dlg::onConnected() {
    // The link has stored the recorder's description: its model and how
    // many cameras it has. The link asks for the current channel after the
    // login, so a channel the recorder lacks becomes the first one here.
    fillChannels(channelEntriesForRecorder(working_.modelIndex.load(), working_.cameraCount));
    const int channel = working_.currentChannel.load();
    if (channel >= 0 && channel < channelCombo_->count()) {
        channelCombo_->setCurrentIndex(channel);
    } else if (channelCombo_->count() > 0) {
        working_.currentChannel.store(0);
        channelCombo_->setCurrentIndex(0);
    }
    // A new recorder: its alarm outputs are known after the login.
    fillAlarmOutputs(kAlarmOutputEntries);
    fitViewToRecorder();
    // The grid keeps its selected tile as the current channel.
    if (video_->gridShown()) {
        const int selected = video_->selectedTileChannel();
        if (selected >= 0) onTileSelected(selected);
    }
}

}  // namespace orvix
