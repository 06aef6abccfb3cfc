// Messages between the main dialog, the video window and the link. Numbers
// are fixed; every one is delivered synchronously (the sender waits until
// the receiver has handled it).
#pragma once

#include <cstdint>

namespace orvix {

enum WindowMessage : uint32_t {
    VWM_CONNECT = 1025,           // DeviceRecord* / 0: set up the link
    VWM_LINK_START = 1026,        // link thread state := connect
    VWM_REFRESH = 1027,           // status changed: repaint logo and status
    VWM_SET_CHANNEL = 1028,       // channel / origin (0 chosen, 1 I-only toggled)
    VWM_DISCONNECT = 1029,
    VWM_TEARDOWN = 1030,
    VWM_DEVICE_SAVED = 1031,      // DeviceRecord* / 0, from the setup dialog
    VWM_SOCKET_RESET = 1032,      // close the socket and create it again
    VWM_RECORD_INFO_REQ = 1033,
    VWM_RECORD_INFO = 1034,       // const uint32_t[2]* / 1
    VWM_SEARCH_INFO = 1035,       // const uint32_t[2]* / 1
    VWM_RECORD_INFO_FAIL = 1036,  // payload or 0 / 0
    VWM_SEARCH_START = 1037,      // start time (seconds since 1970) / 0
    VWM_SEARCH_END = 1038,
    VWM_PTZ = 1040,               // PtzAction / preset number
    VWM_ALARM_ON = 1041,          // output (0 all) / duration in seconds
    VWM_ALARM_OFF = 1042,
    VWM_CONNECTED = 1043,         // DeviceRecord* / 0
};

using WParam = uintptr_t;
using LParam = intptr_t;

// A window that takes messages: the main dialog and the video window. A
// record's owner field points to one (as MessageTarget*), so the setup
// library can send the save notification without knowing the dialog type.
class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Handles the message synchronously and returns its result.
    virtual LParam sendMessage(uint32_t message, WParam wParam, LParam lParam) = 0;
};

}  // namespace orvix
