#include "app/control_states.h"

#include "app/main_dialog_ids.h"

namespace orvix {
namespace {

const std::vector<int> kRecorderControls = {kDeviceCombo, kDeleteDevice, kInfoSetup};
const std::vector<int> kConnectionControls = {kConnect, kChannelCombo, kIFrameOnly, kAutoReconnect};
const std::vector<int> kSearchControls = {kSearchStart, kSearchLive, kSearchDate, kSearchTime};

void set(ControlChanges& changes, const std::vector<int>& ids, bool enabled) {
    for (int id : ids) changes.emplace_back(id, enabled);
}

}  // namespace

const std::vector<int>& cameraAndAlarmControls() {
    static const std::vector<int> ids = {
        kPanLeft,     kPanRight, kTiltUp,      kTiltDown,     kPanTiltStop, kDirectionMode, kZoomOut,
        kZoomStop,    kZoomIn,   kFocusIn,     kFocusStop,    kFocusOut,    kPresetNumber,  kPresetAction,
        kPresetSend,  kAlarmOutput, kAlarmDuration, kAlarmOn, kAlarmOff,
    };
    return ids;
}

ControlChanges controlStateChanges(ControlState state) {
    ControlChanges changes;
    switch (state) {
    case ControlState::NoDevice:
        set(changes, kRecorderControls, false);
        changes.emplace_back(kAddDevice, true);
        set(changes, kConnectionControls, false);
        changes.emplace_back(kRecInfoReq, false);
        set(changes, kSearchControls, false);
        set(changes, cameraAndAlarmControls(), false);
        break;
    case ControlState::DeviceIdle:
        set(changes, kRecorderControls, true);
        changes.emplace_back(kAddDevice, true);
        set(changes, kConnectionControls, true);
        changes.emplace_back(kRecInfoReq, false);
        set(changes, kSearchControls, false);
        set(changes, cameraAndAlarmControls(), false);
        break;
    case ControlState::Connected:
        set(changes, kRecorderControls, false);
        changes.emplace_back(kAddDevice, false);
        changes.emplace_back(kRecInfoReq, true);
        set(changes, kSearchControls, false);
        set(changes, cameraAndAlarmControls(), true);
        break;
    case ControlState::AfterDisconnect:
        set(changes, kRecorderControls, true);
        changes.emplace_back(kAddDevice, true);
        changes.emplace_back(kRecInfoReq, false);
        set(changes, kSearchControls, false);
        set(changes, cameraAndAlarmControls(), false);
        break;
    }
    return changes;
}

}  // namespace orvix
