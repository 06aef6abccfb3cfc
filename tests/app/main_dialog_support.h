// Driving the main dialog in tests: a configuration directory of its own
// (so the store starts empty and the user's list is never touched), the
// dialog with every message it sends the video window recorded, user-like
// selections, answers to modal boxes, and a scripted setup dialog.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/c_main_dlg.h"
#include "core/device_record.h"
#include "core/window_messages.h"
#include "tests/link/scripted_peer.h"

class QComboBox;
class QImage;
class QRect;
class QMessageBox;

namespace orvix::test {

// A fresh XDG_CONFIG_HOME for the life of the object.
class ConfigDirectory {
public:
    ConfigDirectory();
    ~ConfigDirectory();
    ConfigDirectory(const ConfigDirectory&) = delete;
    ConfigDirectory& operator=(const ConfigDirectory&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

// Runs the event loop until `done` holds; false after `guardMs` (a guard
// against hangs, not a timing check).
bool processUntil(const std::function<bool()>& done, int guardMs = 60000);

// Selects an entry the way the user does, so the dialog is notified.
void chooseEntry(QComboBox* combo, int index);

// The user's folders for pictures and videos under `home`, written to
// `home`/user-dirs.dirs as xdg-user-dirs writes them (XDG_CONFIG_HOME is
// `home`); their paths in `pictures` and `videos`.
void writeUserDirs(const std::string& home, QString& pictures, QString& videos);

// Saves what `window` shows, frame and all where there is an X server, as
// NAME in $ORVIX_SCREENSHOT_DIR; nothing when that is not set.
void saveScreenshot(QWidget* window, const QString& name);

// Whether most of `area` of `picture` (sampled every `step` pixels) is in
// the simulator's colour of `channel`.
bool inChannelColour(const QImage& picture, const QRect& area, int channel, int step = 3);

// Runs `work` (which may block, e.g. on a peer socket) on another thread
// while this thread keeps handling events.
void runWhileProcessing(const std::function<void()>& work);

// Once the next modal window is open, hands it to `act`. A modal window
// still open after the guard time is closed so a failing test cannot hang.
void onNextModal(std::function<void(QWidget*)> act, int guardMs = 30000);

// Answers the next message box with `button`; the box's caption and text
// are kept for the test.
struct BoxAnswer {
    bool seen = false;
    QString caption;
    QString text;
};
std::shared_ptr<BoxAnswer> answerNextBox(int button);

// A setup dialog that runs `script` instead of showing anything.
class ScriptedSetup {
public:
    using Script = std::function<void(DeviceRecord& record, int32_t variant, int32_t mode)>;
    explicit ScriptedSetup(C_Main_Dlg& dialog, Script script);
    ~ScriptedSetup();
    int calls() const;

private:
    static void entry(DeviceRecord* record, int32_t variant, int32_t mode);
};

struct SentMessage {
    uint32_t message;
    WParam wParam;
    LParam lParam;
};

// Stored fields of a record for the store before the dialog opens.
struct StoredRecord {
    uint32_t id;
    std::u16string name;
    std::u16string address = u"127.0.0.1";
    uint16_t port = 3000;
    int32_t framingKind = 0;
    // Reached through a DDNS server instead of the address above.
    std::u16string ddnsId = {};
    std::u16string ddnsServer = {};
    uint16_t ddnsPort = 0;
    std::u16string account = u"admin";
    std::u16string password = u"1234";
};

// What the scripted recorder of connectStreaming() says about itself.
struct ScriptedRecorder {
    uint32_t modelCode = 11;  // model index 0: 4 channels, Wide framing
    int16_t cameras = 4;
    uint32_t loginValues[4] = {4, 16, 128, 0};
};

class MainDialogTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Saves `records` as the device list, in this order.
    void store(const std::vector<StoredRecord>& records);
    // What the store holds now: (id, name) in list order.
    std::vector<std::pair<uint32_t, std::u16string>> stored();
    // Opens the dialog on the store, recording what it sends the video window.
    void open();
    // Handles events until the dialog has heard how every save and password
    // read it asked of the store ended.
    void settleStore();

    QWidget* control(int id) const { return dialog->control(id); }
    QComboBox* combo(int id) const;
    bool enabled(int id) const;
    void click(int id);
    // Texts of a combo's entries and their item data.
    QStringList entries(int id) const;
    std::vector<int> itemData(int id) const;
    // Messages sent since the last call, then forgotten.
    std::vector<SentMessage> takeSent();
    // The enabled state of every control that is not always enabled.
    std::vector<std::pair<int, bool>> controlStates() const;
    // Confirms Connect for the selected recorder, pointed at `peer`, and
    // plays the recorder up to video flowing (status 9); the peer then stays
    // silent, so requests go out and nothing answers them.
    void connectStreaming(const ScriptedRecorder& recorder = {});
    int linkStatus() const;
    // Answers the "Delete recorder NAME?" box with `button` and clicks "Del DVR".
    std::shared_ptr<BoxAnswer> deleteSelected(int button);

    ConfigDirectory config;
    std::unique_ptr<C_Main_Dlg> dialog;
    std::vector<SentMessage> sent;
    std::unique_ptr<ScriptedPeer> peer;
};

}  // namespace orvix::test
