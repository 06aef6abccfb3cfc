// The enabled/disabled states of the main dialog's controls, as tables of
// (control id, enabled); controls a state does not name keep their state.
#pragma once

#include <utility>
#include <vector>

namespace orvix {

enum class ControlState {
    NoDevice,         // no recorder selected: only "Add DVR"
    DeviceIdle,       // a recorder selected, not connected
    Connected,        // Connect confirmed: camera, preset, alarm and "Rec Info Req"
    AfterDisconnect,  // back to the recorder controls
};

using ControlChanges = std::vector<std::pair<int, bool>>;

ControlChanges controlStateChanges(ControlState state);

// The camera, preset and alarm controls that a range request disables and
// "LIVE" enables again.
const std::vector<int>& cameraAndAlarmControls();

}  // namespace orvix
