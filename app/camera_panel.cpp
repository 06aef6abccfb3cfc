// The "PanTilt", "Zoom/Focus", "Preset" and "Alarm" pages: each click is one
// request to the video window. The pan/tilt direction mode lives in the
// label of the mode button.
#include <QComboBox>
#include <QPushButton>

#include "app/c_main_dlg.h"
#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"

namespace orvix {
namespace {

enum PtzAction : int {
    kPtzStop = 0,
    kPtzUp = 1,
    kPtzDown = 2,
    kPtzLeft = 3,
    kPtzRight = 4,
    kPtzGoToPreset = 5,
    kPtzStorePreset = 6,
};

// Item data of the selected entry, or -1 without a selection.
int selectedData(QWidget* widget) {
    auto* combo = qobject_cast<QComboBox*>(widget);
    if (combo == nullptr || combo->currentIndex() < 0) return -1;
    return combo->itemData(combo->currentIndex()).toInt();
}

}  // namespace

void C_Main_Dlg::onDirection(int id) {
    const bool normal = qobject_cast<QPushButton*>(control(kDirectionMode))->text() == QLatin1String(kNormalText);
    int action = kPtzStop;
    switch (id) {
    case kTiltUp:
        action = normal ? kPtzUp : kPtzDown;
        break;
    case kTiltDown:
        action = normal ? kPtzDown : kPtzUp;
        break;
    case kPanLeft:
        action = normal ? kPtzLeft : kPtzRight;
        break;
    case kPanRight:
        action = normal ? kPtzRight : kPtzLeft;
        break;
    default:
        return;
    }
    sendToVideo(VWM_PTZ, static_cast<WParam>(action), 0);
}

void C_Main_Dlg::onCameraAction(int action) { sendToVideo(VWM_PTZ, static_cast<WParam>(action), 0); }

void C_Main_Dlg::onDirectionMode() {
    auto* mode = qobject_cast<QPushButton*>(control(kDirectionMode));
    const bool normal = mode->text() == QLatin1String(kNormalText);
    mode->setText(QString::fromLatin1(normal ? kInvertText : kNormalText));
}

void C_Main_Dlg::onPresetSend() {
    int action = 0;
    switch (selectedData(control(kPresetAction))) {
    case 0:
        action = kPtzGoToPreset;
        break;
    case 1:
        action = kPtzStorePreset;
        break;
    default:
        return;
    }
    const int preset = selectedData(control(kPresetNumber));
    if (preset < 0) return;
    sendToVideo(VWM_PTZ, static_cast<WParam>(action), preset + 1);
}

void C_Main_Dlg::onAlarmOn() {
    const int output = selectedData(control(kAlarmOutput));
    const int duration = selectedData(control(kAlarmDuration));
    if (output < 0 || duration < 0) return;
    sendToVideo(VWM_ALARM_ON, static_cast<WParam>(output), duration);
}

void C_Main_Dlg::onAlarmOff() { sendToVideo(VWM_ALARM_OFF); }

}  // namespace orvix
