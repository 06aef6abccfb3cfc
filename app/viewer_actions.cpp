// The main dialog as a desktop viewer: full screen, snapshot, recording and
// the keys that reach them from anywhere in the window.
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include "app/c_main_dlg.h"
#include "app/capture_files.h"
#include "app/main_dialog_ids.h"
#include "core/debug_log.h"
#include "gui/c_draw_static.h"

namespace orvix {

void C_Main_Dlg::setFullScreen(bool on) {
    if (on == fullScreen_) return;
    fullScreen_ = on;
    if (on) {
        maximisedBeforeFullScreen_ = (windowState() & Qt::WindowMaximized) != 0;
        setWindowState((windowState() & ~Qt::WindowMaximized) | Qt::WindowFullScreen);
        video_->setFocus(Qt::OtherFocusReason);
    } else {
        const Qt::WindowStates kept = windowState() & Qt::WindowMinimized;
        setWindowState(kept | (maximisedBeforeFullScreen_ ? Qt::WindowMaximized : Qt::WindowNoState));
    }
    client_ = rect();
    layoutVideoAndTabs();
    layoutPage(tabs_->currentIndex());
    update();
}

bool C_Main_Dlg::handleViewerKey(QWidget* target, const QKeyEvent& event) {
    if (handlePlaybackKey(target, event)) return true;
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers =
        event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (modifiers == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_Q:
            accept();
            return true;
        case Qt::Key_S:
            takeSnapshot();
            return true;
        case Qt::Key_R:
            toggleRecording();
            return true;
        case Qt::Key_W:
            emit wallRequested();
            return true;
        default:
            return false;
        }
    }
    if (modifiers != Qt::NoModifier) return false;
    switch (key) {
    case Qt::Key_F11:
        setFullScreen(!fullScreen_);
        return true;
    case Qt::Key_Escape:
        // Never closes the program.
        leaveByEscape();
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Pickers step with them; elsewhere they move through the cameras.
        if (qobject_cast<QAbstractSpinBox*>(target) != nullptr || !video_->gridShown()) return false;
        stepGroup(key == Qt::Key_PageDown ? 1 : -1);
        return true;
    case Qt::Key_F1:
        showKeyHelp();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // On the video it flips the rates row; elsewhere the focus moves on.
        if (video_->hasFocus() || video_->isAncestorOf(focusWidget())) {
            video_->toggleStatistics();
            return true;
        }
        return false;
    case Qt::Key_Space:
        // A space typed into a field stays there.
        if (qobject_cast<QLineEdit*>(target) != nullptr) return false;
        video_->setFocus(Qt::OtherFocusReason);
        return true;
    default:
        break;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        // Digits typed into a field stay there.
        if (qobject_cast<QAbstractSpinBox*>(target) != nullptr || qobject_cast<QLineEdit*>(target) != nullptr) {
            return false;
        }
        const int number = key == Qt::Key_0 ? 9 : key - Qt::Key_1;
        // In a grid the key picks a tile of those shown.
        if (video_->gridShown()) {
            selectTileByKey(number);
        } else {
            chooseChannelByKey(number);
        }
        return true;
    }
    return false;
}

void C_Main_Dlg::leaveByEscape() {
    // Full screen is left first; then an enlarged tile returns to its grid.
    if (fullScreen_) {
        setFullScreen(false);
    } else if (tileEnlarged_) {
        returnToGrid();
    }
}

void C_Main_Dlg::chooseChannelByKey(int channel) {
    const int entry = channelCombo_->findData(channel);
    if (entry < 0 || !channelCombo_->isEnabled()) return;
    channelCombo_->setCurrentIndex(entry);
    onChannelChosen();  // as if the user had picked it in the list
}

QString C_Main_Dlg::shownRecorderName() const { return QString::fromStdU16String(std::u16string(working_.name.view())); }

void C_Main_Dlg::setInfoLine(const QString& text) { video_->showInfoLine(text.toStdString()); }

QString C_Main_Dlg::takeSnapshot() {
    const QImage image = video_->snapshot();
    if (image.isNull()) {
        setInfoLine(QStringLiteral("Snapshot: no picture is shown"));
        return QString();
    }
    QString message;
    const QString path = saveSnapshot(
        image, captureBaseName(shownRecorderName(), working_.currentChannel.load(), QDateTime::currentDateTime()),
        message);
    setInfoLine(message);
    return path;
}

void C_Main_Dlg::toggleRecording() {
    if (video_->recording()) {
        const QString path = QString::fromStdString(video_->recordingPath());
        std::string error;
        const bool ok = video_->stopRecording(error);
        // A span stopped early: later recordings take everything again.
        video_->session().clearSpan();
        setInfoLine(ok ? QStringLiteral("Recording saved to ") + path
                       : QStringLiteral("Recording failed: ") + QString::fromStdString(error));
    } else {
        startRecordingFile();
    }
    showRecordButton();
}

bool C_Main_Dlg::startRecordingFile() {
    if (!isConnected()) {
        setInfoLine(QStringLiteral("Recording needs a connection"));
        return false;
    }
    QString error;
    const QString base = captureBaseName(shownRecorderName(), working_.currentChannel.load(), QDateTime::currentDateTime());
    const QString path = freeCapturePath(recordingDirectory(), base, QStringLiteral("mp4"), error);
    if (path.isEmpty()) {
        setInfoLine(QStringLiteral("Recording not started: ") + error);
        return false;
    }
    std::string why;
    if (!video_->startRecording(path.toStdString(), why)) {
        setInfoLine(QStringLiteral("Recording not started: ") + QString::fromStdString(why));
        return false;
    }
    setInfoLine(QStringLiteral("Recording to ") + path);
    return true;
}

void C_Main_Dlg::recordNewChannel() {
    if (!video_->recording()) return;
    // One file per channel: the file of the channel left is finished (it
    // may hold nothing if no key picture came yet) and a new one begins.
    std::string error;
    if (!video_->stopRecording(error)) debugLogf("orvix: recording of the channel left: %s\r\n", error.c_str());
    startRecordingFile();
    showRecordButton();
}

void C_Main_Dlg::onRecordingEnded(const QString& path, const QString& error) {
    showRecordButton();
    // A connection that ended by itself keeps its reason on the info line
    // unless the recording failed.
    if (!error.isEmpty()) {
        setInfoLine(QStringLiteral("Recording failed: ") + error);
    } else if (!video_->session().linkEnded()) {
        setInfoLine(QStringLiteral("Recording saved to ") + path);
    }
}

void C_Main_Dlg::showRecordButton() {
    auto* button = qobject_cast<QPushButton*>(control(kRecord));
    const bool on = video_->recording();
    button->setChecked(on);
    // While a recording runs the button says what a click does.
    button->setText(QString::fromLatin1(on ? kStopRecordText : kRecordText));
}

QString C_Main_Dlg::keyHelpText() {
    static constexpr const char* kKeys[][2] = {
        {"F11, double-click on the video", "full screen on and off"},
        {"Escape", "leave full screen; back to the grid"},
        {"1 - 9, 0", "channels 1 - 10 (in a grid: tiles 1 - 10)"},
        {"Page Up, Page Down", "previous or next cameras of a grid"},
        {"Click, double-click", "select a tile; show it alone, and back"},
        {"Tab (on the video)", "frame rate only, or all rates"},
        {"Space", "keyboard to the video; in playback: pause and resume"},
        {"Left, Right (Shift: 1 min)", "in playback: 10 s back or on"},
        {"Home, End", "play from the recorded start, or its last minute"},
        {"Ctrl+S", "snapshot (PNG)"},
        {"Ctrl+R", "start or stop recording (MP4)"},
        {"Ctrl+W", "the wall: cameras of several recorders"},
        {"Ctrl+Q", "quit"},
        {"F1", "this help"},
    };
    QString rows;
    for (const auto& entry : kKeys) {
        rows += QStringLiteral("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2</td></tr>")
                    .arg(QString::fromLatin1(entry[0]), QString::fromLatin1(entry[1]));
    }
    return QStringLiteral("<table>") + rows + QStringLiteral("</table>");
}

void C_Main_Dlg::showKeyHelp() {
    if (keyHelp_ == nullptr) {
        keyHelp_ = new QMessageBox(QMessageBox::Information, windowTitle(), keyHelpText(), QMessageBox::Ok, this);
        keyHelp_->setObjectName(QStringLiteral("KeyHelp"));
        keyHelp_->setTextFormat(Qt::RichText);
        keyHelp_->setAttribute(Qt::WA_DeleteOnClose);
        keyHelp_->setWindowModality(Qt::NonModal);
    }
    keyHelp_->show();
    keyHelp_->raise();
}

}  // namespace orvix
