// The program's one dialog: the video window across the top (it takes what
// the window grows by, or the whole screen in full screen), a tab control
// with seven pages below it (device, connection, search, pan/tilt,
// zoom/focus, presets, alarm outputs), the device list and the working
// record. It drives the video window only through its messages and takes
// the link's results (range, no range, connected) forwarded by it.
//
// Every control carries its id in the dynamic property "controlId" and is
// found with control(id). Combo entries carry the value to send as item
// data. The page handlers live in device_panel.cpp, search_panel.cpp and
// camera_panel.cpp; full screen, snapshot, recording and the keys of the
// viewer in viewer_actions.cpp.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>

#include "app/control_states.h"
#include "app/dialog_units.h"
#include "app/store_queue.h"
#include "app/viewer_settings.h"
#include "core/device_list.h"
#include "core/device_record.h"
#include "core/library_binding.h"
#include "core/window_messages.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QTabWidget;
class QTimeEdit;

namespace orvix {

class C_DrawStatic;
class FirstRunForm;
class PlaybackTimeline;

class C_Main_Dlg : public QDialog, public MessageTarget {
    Q_OBJECT

public:
    // The client area the dialog opens with, and its smallest: portrait,
    // the video 640 x 480 on top and room for the tab headers and two rows
    // of controls.
    static constexpr int kClientWidth = 640;
    static constexpr int kClientHeight = 660;
    // The pause after a disconnect when the dialog closes.
    static constexpr int kExitWaitMs = 1000;

    // Binds libnodra.so and libtlset.so from `libraryDirectory`, loads the
    // device list and sets up every control (page 0 shown). Problems with
    // the libraries or the store are shown in a message box that does not
    // block.
    explicit C_Main_Dlg(const std::string& libraryDirectory, QWidget* parent = nullptr);
    // The same with the libraries from libraryDirectory().
    explicit C_Main_Dlg(QWidget* parent = nullptr);
    // A connection still up is stopped first; the list is freed.
    ~C_Main_Dlg() override;

    // The messages the video window forwards (1034, 1035, 1036, 1043) and
    // the setup dialog's 1031; 1 for those, 0 for any other. From another
    // thread the caller waits until the dialog's thread has handled it.
    LParam sendMessage(uint32_t message, WParam wParam, LParam lParam) override;

    // The control with this id (1000 is the video window, 1036 the tab
    // control), or null.
    QWidget* control(int id) const;
    C_DrawStatic* videoWindow() const { return video_; }
    QTabWidget* tabControl() const { return tabs_; }
    // The form that adds the first recorder; shown only while the list is empty.
    FirstRunForm* firstRunForm() const { return firstRun_; }
    DeviceList& deviceList() { return devices_; }
    DeviceRecord& workingRecord() { return working_; }
    const LibraryBinding& binding() const { return binding_; }
    // Tests may swap entries of the binding, e.g. for a scripted setup dialog.
    LibraryBinding& binding() { return binding_; }
    // Tests: each message the dialog sends the video window is shown to the
    // tap first.
    using MessageTap = std::function<void(uint32_t message, WParam wParam, LParam lParam)>;
    void setVideoMessageTap(MessageTap tap) { videoTap_ = std::move(tap); }
    int32_t variant() const { return variant_; }
    QRect clientRectangle() const { return client_; }
    // Whether a connection is up: the Connect button does not read "Connect".
    bool isConnected() const;
    // The open box with what the libraries or the store had to say, if any.
    QMessageBox* noticeBox() const { return noticeBox_.data(); }
    // Saves and keyring reads asked of the store whose outcome has not come
    // back yet.
    int storeCallsPending() const { return store_ ? store_->pending() : 0; }

    // The OK command, the close box and Ctrl+Q run the exit sequence:
    // disconnect (and wait) when connected, remember the settings, free the
    // list, close. Escape only leaves full screen (see keyPressEvent).
    void accept() override;
    void reject() override;

    // The video alone on the whole screen, or back to the window as it was.
    void setFullScreen(bool on);
    bool isFullScreenView() const { return fullScreen_; }
    // Saves the shown picture with its overlay as PNG in the snapshot
    // folder; the info line says where. The file, or empty.
    QString takeSnapshot();
    // Starts or stops keeping the shown channel's video as MP4 in the
    // recording folder; the info line says where.
    void toggleRecording();
    // The keys of the viewer (F1).
    static QString keyHelpText();

    // Start-up choices from the command line. Selects the first recorder
    // with this name as the user would; false when there is none.
    bool selectRecorderByName(const QString& name);
    // Chooses channel `channel` (0-based) in the channel list; false when the
    // list has no such entry.
    bool chooseChannel(int channel);
    // Connects the selected recorder without asking first; false when no
    // connection was started (the user has been told why).
    bool connectWithoutAsking();

    // The view (1, 4, 9 or 16 pictures) as the user would choose it in the
    // "View" list: remembered for the recorder, and shown at once while
    // connected. False when the recorder is not offered that view.
    bool chooseView(int view);
    // A view asked for before the recorder's cameras are known (the command
    // line): chosen at once where offered, else held for the recorder and
    // fitted to its cameras once its login reports them. False for a count
    // that is no view.
    bool wantView(int view);
    int shownView() const { return view_; }
    int shownGroup() const { return group_; }
    // Moves `delta` groups of cameras on (Page Down: 1, Page Up: -1).
    void stepGroup(int delta);
    // Whether one tile of the grid is shown alone (double-click).
    bool tileEnlarged() const { return tileEnlarged_; }
    // The tile of `channel` alone, as a double-click does; and back.
    void enlargeTile(int channel);
    void returnToGrid();

    // Records recorder time [from, to) of the shown channel into an MP4 in
    // the recording folder: plays from `from`, and at `to` the file ends
    // and the playback pauses. The file, or empty (the info line says why).
    QString saveSpan(uint32_t from, uint32_t to);
    PlaybackTimeline* timeline() const { return timeline_; }

    // What the dialog would remember if it closed now.
    ViewerSettings currentSettings() const;

signals:
    // "Wall" or Ctrl+W: the wall of several recorders is to open.
    void wallRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Initialisation and layout (c_main_dlg.cpp).
    void initDialog(const std::string& libraryDirectory);
    void createControls();
    void keepWindowReadyForOpenGl();
    void connectHandlers();
    void fillStaticCombos();
    void fitControlsToContents();
    void layoutVideoAndTabs();
    void layoutPage(int index);
    void applyControlState(ControlState state);
    void setControlEnabled(int id, bool enabled);
    void applySettings(const ViewerSettings& settings);
    void exitSequence();
    void showNotice(const std::string& text);
    // Puts the store's note that passwords are kept in the file, once, on
    // the video window's info line.
    void showPasswordNotice();
    void showPasswordNotice(const std::string& notice);
    // A message box the user closes before going on.
    void tellUser(const QString& text);
    LParam handleMessage(uint32_t message, WParam wParam, LParam lParam);

    // Device and connection pages (device_panel.cpp).
    bool copySelectedDevice();
    void onDeviceSelected();
    void onAddDevice();
    // Appends the working record (its id just given) to the list and the
    // combo, selects and saves it.
    void addWorkingRecord();
    // The first-run form over the video while the list is empty
    // (first_run_panel.cpp).
    void createFirstRunForm();
    void showFirstRunForm();
    void onFirstRunSave();
    void onEditDevice();
    void onDeleteDevice();
    void onConnectClicked();
    // `ask`: show the "Question" box first. False when nothing was started
    // (true while the password is fetched from the keyring first).
    bool connectToRecorder(bool ask);
    // The "Question" box, unless the user asked not to be asked again for
    // this recorder; true to go on.
    bool askBeforeConnecting();
    // Connects the working record, which holds its password.
    bool startConnection();
    void onStoreOutcome(const StoreQueue::Outcome& outcome);
    void onPasswordFetched(const StoreQueue::Outcome& outcome);
    void disconnectFromRecorder();
    void onChannelChosen();
    void onIFrameOnlyClicked();
    // The "Reconnect automatically" box: stored with the recorder and given
    // to the session at once (a link that runs follows it from its next end).
    void onAutoReconnectClicked();
    // The box shows the working record's setting.
    void showReconnectSetting();
    // The session's policy from the working record's setting.
    void applyReconnectSetting();
    void onConnected();
    void fillChannels(int count);
    void fillAlarmOutputs(int count);
    // The alarm outputs the connected recorder reported, once it has.
    void refreshAlarmOutputs();
    void fillChannelsAndSelectCurrent();
    void addDeviceEntry(const DeviceRecord& record);
    // Saves the device list and shows what the store has to say.
    void saveDevices();
    // The combo and the views kept by recorder follow ids the store changed.
    void followStoredIds();
    int channelOfSelection() const;

    // Search page (search_panel.cpp).
    void initSearchPickers();
    void onRecordInfoRequest();
    void onRangeKnown(WParam range);
    void onNoRange();
    void onSearchDateChanged();
    void onSearchStart();
    void onSearchLive();
    // The search page as live video has it (START and LIVE off, camera
    // controls on).
    void showLiveControls();
    void onReconnectScheduled();
    void applyTimeLimits();
    // Brings the pickers' date and time into the recorded range.
    void keepSearchTimeInRange();
    // Forgets the recorded range (no range, or a new connection).
    void clearRange();

    // Pan/tilt, zoom/focus, preset and alarm pages (camera_panel.cpp).
    void onDirection(int id);
    void onCameraAction(int action);
    void onDirectionMode();
    void onPresetSend();
    void onAlarmOn();
    void onAlarmOff();

    // The grid (grid_panel.cpp).
    // The cameras the views are offered for: those the recorder reported,
    // else its model's channels.
    int viewCameraCount() const;
    // The "View" list for the recorder, with the view shown selected.
    void fillViews();
    void onViewChosen();
    // Shows the view and group: the grid's channel set, or the single view
    // of the current channel. `request`: ask the recorder while connected.
    void applyView();
    void updateViewControls();
    void onTileSelected(int channel);
    void selectTileByKey(int index);
    // The recorder's remembered view and group, or the single view.
    void restoreView();
    void rememberView();
    // After the login: fewer cameras than the view needs shrink it.
    void fitViewToRecorder();
    void leaveByEscape();

    // The timeline, its keys and spans (playback_panel.cpp).
    void initTimeline();
    // Lays the timeline over the bottom of `video` while it is wanted; the
    // place left for the video.
    QRect placeTimeline(const QRect& video);
    bool handlePlaybackKey(QWidget* target, const QKeyEvent& event);
    void askSpan();
    void finishSpan();

    // Full screen, snapshot, recording and keys (viewer_actions.cpp).
    // True when the key was one of the viewer's and has been handled.
    bool handleViewerKey(QWidget* target, const QKeyEvent& key);
    void chooseChannelByKey(int channel);
    // A new file for the channel now shown, when recording.
    void recordNewChannel();
    bool startRecordingFile();
    void onRecordingEnded(const QString& path, const QString& error);
    // The Record button checked, and reading "Stop", while a recording runs.
    void showRecordButton();
    void showKeyHelp();
    void setInfoLine(const QString& text);
    QString shownRecorderName() const;

    LParam sendToVideo(uint32_t message, WParam wParam = 0, LParam lParam = 0);

    LibraryBinding binding_;
    DeviceList devices_;
    DeviceRecord working_;
    std::unique_ptr<StoreQueue> store_;
    // The recorder whose password is fetched from the keyring to connect it.
    const DeviceRecord* awaitingPassword_ = nullptr;
    int32_t variant_ = 0;
    QRect client_;
    DialogUnits units_;
    bool exiting_ = false;
    bool fullScreen_ = false;
    bool maximisedBeforeFullScreen_ = false;
    // The place and size of the window when last neither maximised nor full
    // screen: what is remembered.
    QPoint normalPosition_;
    QSize normalSize_;
    QPointer<QMessageBox> keyHelp_;

    C_DrawStatic* video_ = nullptr;
    FirstRunForm* firstRun_ = nullptr;
    PlaybackTimeline* timeline_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QComboBox* deviceCombo_ = nullptr;
    QComboBox* channelCombo_ = nullptr;
    QComboBox* viewCombo_ = nullptr;
    int view_ = 1;   // pictures shown at once
    int group_ = 0;  // which group of `view_` cameras
    bool tileEnlarged_ = false;
    std::map<uint32_t, GridChoice> gridChoices_;  // by recorder id
    std::set<uint32_t> connectWithoutAsking_;      // recorder ids
    int heldView_ = 0;  // a view asked for before the cameras were known
    QDateEdit* searchDate_ = nullptr;
    QTimeEdit* searchTime_ = nullptr;
    QLabel* searchRange_ = nullptr;
    std::map<int, QWidget*> controls_;
    QPointer<QMessageBox> noticeBox_;
    MessageTap videoTap_;

    // The recorded range of the last range reply, in recorder time.
    bool rangeKnown_ = false;
    QDateTime rangeStart_;
    QDateTime rangeEnd_;
};

}  // namespace orvix
