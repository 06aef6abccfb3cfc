#include "tests/app/main_dialog_support.h"

#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/main_dialog_ids.h"
#include "core/library_binding.h"
#include "gui/c_draw_static.h"
#include "link/command_codes.h"
#include "tests/link/stream_builders.h"
#include "tools/recorder_sim/picture_painter.h"

namespace orvix::test {
namespace {

ScriptedSetup::Script gScript;
int gCalls = 0;

}  // namespace

ConfigDirectory::ConfigDirectory() {
    std::string pattern = "/tmp/orvix-dialog-XXXXXX";
    path_ = ::mkdtemp(pattern.data());
    hadPrevious_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    previous_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(path_));
}

ConfigDirectory::~ConfigDirectory() {
    if (hadPrevious_) {
        qputenv("XDG_CONFIG_HOME", previous_);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool processUntil(const std::function<bool()>& done, int guardMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > guardMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void runWhileProcessing(const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    processUntil([&] { return finished.load(); }, 120000);
    worker.join();
}

void chooseEntry(QComboBox* combo, int index) {
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void onNextModal(std::function<void(QWidget*)> act, int guardMs) {
    auto* poll = new QTimer;
    auto* guard = new QElapsedTimer;
    guard->start();
    QObject::connect(poll, &QTimer::timeout, [poll, guard, act, guardMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr) {
            poll->stop();
            poll->deleteLater();
            delete guard;
            act(modal);
        } else if (guard->elapsed() > guardMs) {
            poll->stop();
            poll->deleteLater();
            delete guard;
            ADD_FAILURE() << "no modal window opened";
        }
    });
    poll->start(10);
}

std::shared_ptr<BoxAnswer> answerNextBox(int button) {
    auto answer = std::make_shared<BoxAnswer>();
    onNextModal([answer, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            ADD_FAILURE() << "the modal window is not a message box";
            modal->close();
            return;
        }
        answer->seen = true;
        answer->caption = box->windowTitle();
        answer->text = box->text();
        box->button(static_cast<QMessageBox::StandardButton>(button))->click();
    });
    return answer;
}

ScriptedSetup::ScriptedSetup(C_Main_Dlg& dialog, Script script) {
    gScript = std::move(script);
    gCalls = 0;
    dialog.binding().doModalSetup = &ScriptedSetup::entry;
}

ScriptedSetup::~ScriptedSetup() { gScript = nullptr; }

int ScriptedSetup::calls() const { return gCalls; }

void ScriptedSetup::entry(DeviceRecord* record, int32_t variant, int32_t mode) {
    ++gCalls;
    if (gScript) gScript(*record, variant, mode);
}

void MainDialogTest::TearDown() {
    dialog.reset();
    peer.reset();
}

void MainDialogTest::store(const std::vector<StoredRecord>& records) {
    // Exactly these records: a save keeps rows another writer stored, so
    // the list starts from no file.
    std::filesystem::remove(std::filesystem::path(config.path()) / "orvix" / "devices.db");
    const LibraryBinding binding = bindLibraries();
    ASSERT_TRUE(binding.storeAvailable()) << binding.problem;
    DeviceList list;
    for (const StoredRecord& r : records) {
        DeviceRecord* record = createRecord();
        record->id = r.id;
        setText(record->name, r.name);
        setText(record->account, r.account);
        setText(record->password, r.password);
        setText(record->address, r.address);
        record->port = r.port;
        record->useStatic = r.ddnsId.empty() ? 1 : 0;
        record->useDdns = r.ddnsId.empty() ? 0 : 1;
        setText(record->ddnsId, r.ddnsId);
        setText(record->ddnsServer, r.ddnsServer);
        record->ddnsPort = r.ddnsPort;
        record->framingKind = r.framingKind;
        list.append(record);
    }
    DeviceRecord working;
    initRecord(working);
    EXPECT_EQ(saveDeviceList(binding, list, working), "");
}

std::vector<std::pair<uint32_t, std::u16string>> MainDialogTest::stored() {
    const LibraryBinding binding = bindLibraries();
    DeviceList list;
    DeviceRecord working;
    initRecord(working);
    loadDeviceList(binding, list, working);
    std::vector<std::pair<uint32_t, std::u16string>> result;
    for (const DeviceRecord* record : list.entries()) result.emplace_back(record->id, std::u16string(record->name.view()));
    return result;
}

void MainDialogTest::open() {
    dialog = std::make_unique<C_Main_Dlg>();
    dialog->setVideoMessageTap([this](uint32_t message, WParam wParam, LParam lParam) {
        sent.push_back({message, wParam, lParam});
    });
}

void MainDialogTest::settleStore() {
    EXPECT_TRUE(processUntil([this] { return dialog->storeCallsPending() == 0; }));
}

QComboBox* MainDialogTest::combo(int id) const { return qobject_cast<QComboBox*>(control(id)); }

bool MainDialogTest::enabled(int id) const { return control(id)->isEnabled(); }

void MainDialogTest::click(int id) {
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(button->isEnabled()) << id;
    button->click();
}

QStringList MainDialogTest::entries(int id) const {
    QStringList texts;
    QComboBox* box = combo(id);
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

std::vector<int> MainDialogTest::itemData(int id) const {
    std::vector<int> data;
    QComboBox* box = combo(id);
    for (int i = 0; i < box->count(); ++i) data.push_back(box->itemData(i).toInt());
    return data;
}

std::vector<SentMessage> MainDialogTest::takeSent() { return std::exchange(sent, {}); }

std::vector<std::pair<int, bool>> MainDialogTest::controlStates() const {
    std::vector<std::pair<int, bool>> states;
    for (int id : {kDeviceCombo, kAddDevice, kDeleteDevice, kInfoSetup, kConnect, kChannelCombo, kIFrameOnly,
                   kRecInfoReq, kSearchStart, kSearchLive, kSearchDate, kSearchTime, kPanLeft, kTiltUp, kTiltDown,
                   kPanRight, kPanTiltStop, kDirectionMode, kZoomOut, kZoomStop, kZoomIn, kFocusIn, kFocusStop,
                   kFocusOut, kPresetNumber, kPresetAction, kPresetSend, kAlarmOutput, kAlarmDuration, kAlarmOn,
                   kAlarmOff}) {
        states.emplace_back(id, enabled(id));
    }
    return states;
}

void MainDialogTest::connectStreaming(const ScriptedRecorder& recorder) {
    peer = std::make_unique<ScriptedPeer>();
    DeviceRecord& working = dialog->workingRecord();
    working.useStatic = 1;
    setText(working.address, u"127.0.0.1");
    working.port = peer->port();
    auto answer = answerNextBox(QMessageBox::Ok);
    click(kConnect);
    ASSERT_TRUE(answer->seen);
    ASSERT_TRUE(dialog->isConnected());
    bool answered = false;
    runWhileProcessing([&] {
        if (!peer->accept()) return;
        peer->send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK,
                                 description(recorder.modelCode, 24, recorder.cameras)));
        if (peer->nextCode() != COMMAND_LOGIN_REQ) return;
        const uint32_t* v = recorder.loginValues;
        peer->send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_OK, loginOkPayload(0x1F, v[0], v[1], v[2], v[3])));
        if (peer->nextCode() != COMMAND_DATA_SEND_REQ) return;
        peer->send(commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK));
        answered = true;
    });
    ASSERT_TRUE(answered);
    ASSERT_TRUE(processUntil([&] { return linkStatus() == 9; }));
}

int MainDialogTest::linkStatus() const { return dialog->videoWindow()->session().status(); }

std::shared_ptr<BoxAnswer> MainDialogTest::deleteSelected(int button) {
    auto answer = answerNextBox(button);
    click(kDeleteDevice);
    EXPECT_TRUE(answer->seen);
    return answer;
}

void saveScreenshot(QWidget* window, const QString& name) {
    const QString screenshots = qEnvironmentVariable("ORVIX_SCREENSHOT_DIR");
    if (screenshots.isEmpty()) return;
    QDir().mkpath(screenshots);
    // What is waiting to be painted reaches the screen first.
    QTest::qWait(200);
    QScreen* screen = window->screen();
    const QRect frame = window->frameGeometry();
    const QPixmap shot = QGuiApplication::platformName() == "xcb" && screen != nullptr
                             ? screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                             : window->grab();
    EXPECT_TRUE(shot.save(QDir(screenshots).filePath(name)));
}

void writeUserDirs(const std::string& home, QString& pictures, QString& videos) {
    const QDir dir(QString::fromStdString(home));
    pictures = dir.filePath("pictures");
    videos = dir.filePath("videos");
    QFile dirs(dir.filePath("user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write(QStringLiteral("XDG_PICTURES_DIR=\"%1\"\nXDG_VIDEOS_DIR=\"%2\"\n").arg(pictures, videos).toUtf8());
}

bool inChannelColour(const QImage& picture, const QRect& area, int channel, int step) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const sim::Rgb c = sim::channelColour(channel);
    int matching = 0, all = 0;
    for (int y = area.top(); y <= area.bottom(); y += step) {
        for (int x = area.left(); x <= area.right(); x += step) {
            const QRgb p = image.pixel(x, y);
            ++all;
            if (std::abs(qRed(p) - c.r) < 30 && std::abs(qGreen(p) - c.g) < 30 && std::abs(qBlue(p) - c.b) < 30)
                ++matching;
        }
    }
    return all > 0 && matching > all / 3;
}

}  // namespace orvix::test
