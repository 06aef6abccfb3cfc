// Control ids, labels and strings of the main dialog. Handlers and tests find
// controls by id.
#pragma once

#include <cstdint>

namespace orvix {

enum MainControl : int {
    kVideoWindow = 1000,
    kRecInfoReq = 1001,
    kSearchStart = 1002,
    kSearchLive = 1003,
    kPanLeft = 1004,
    kPanRight = 1005,
    kTiltUp = 1006,
    kTiltDown = 1007,
    kPanTiltStop = 1008,
    kDirectionMode = 1009,
    kConnect = 1014,
    kInfoSetup = 1015,
    kDeleteDevice = 1016,
    kAddDevice = 1017,
    kPresetSend = 1018,
    kZoomOut = 1019,
    kZoomIn = 1020,
    kZoomStop = 1023,
    kFocusIn = 1024,
    kChannelCombo = 1025,
    kChannelLabel = 1026,
    kFocusOut = 1027,
    kFocusStop = 1028,
    kDeviceCombo = 1029,
    kDeviceLabel = 1030,
    kAlarmOn = 1031,
    kPresetNumber = 1032,
    kPresetAction = 1033,
    kAlarmOff = 1034,
    kTabControl = 1036,
    kAlarmOutput = 1037,
    kSearchDate = 1038,
    kSearchTime = 1039,
    kAlarmDuration = 1040,
    kIFrameOnly = 1041,
    // The recorded range as text, on the "Search" page.
    kSearchRange = 1042,
    // Whether the selected recorder is connected again by itself after a
    // loss, on the "Connect" page.
    kAutoReconnect = 1043,
    // On the "Connect" page, the shown picture saved as PNG and
    // the received video of the shown channel kept as MP4 (a toggle).
    kSnapshot = 1044,
    kRecord = 1045,
    // On the "Connect" page, how many pictures are shown at once
    // (1, 4, 9 or 16) and the buttons that move to the previous and next
    // group of cameras.
    kViewLabel = 1046,
    kViewCombo = 1047,
    kGroupPrevious = 1048,
    kGroupNext = 1049,
    // On the "Device" page, opens the wall of several recorders.
    kWall = 1050,
};

// Tab indexes.
enum MainPage : int {
    kPageDevice = 0,
    kPageConnect = 1,
    kPageSearch = 2,
    kPagePanTilt = 3,
    kPageZoomFocus = 4,
    kPagePreset = 5,
    kPageAlarm = 6,
    kPageCount = 7,
};

// The program's string table.
inline constexpr char kStringSocketsFailed[] = "Windows sockets initialization failed.";  // 103
inline constexpr char kStringTitleVariant0[] = "ORVIX V2.9";                               // 109
inline constexpr char kStringConnectQuestion[] =
    "Connection to network. \nIt can charge you the cost. \nThe program may not response max 25 secs.";  // 110
inline constexpr char kStringTitleVariant1[] = "Vantora V2.9";  // 111
inline constexpr char kStringTitleVariant4[] = "Quelm V2.9";    // 112

inline constexpr char kConnectText[] = "Connect";
inline constexpr char kDisconnectText[] = "Disconnect";
inline constexpr char kNormalText[] = "Normal";
inline constexpr char kInvertText[] = "Invert";
inline constexpr char kQuestionCaption[] = "Question";
// The check box of the "Question" box before a connection.
inline constexpr char kDoNotAskAgainText[] = "Do not ask again for this recorder";

// What the dialog tells the user beyond the string table.
inline constexpr char kStringStreamTypeUnset[] =
    "This recorder's stream type is not set. Choose MPEG4 or H.264 under MODEL in Info Setup, then connect again.";
inline constexpr char kStringSetUpFailed[] =
    "The connection could not be set up: there is not enough memory. Close other programs and connect again.";
// %1: the recorder's name.
inline constexpr char kStringDeleteQuestion[] = "Delete recorder %1?";
// On the info line while a password kept in the keyring is fetched to connect.
inline constexpr char kWaitingForKeyring[] = "Waiting for the keyring...";
// %1, %2: the first and last recorded second, as yyyy-MM-dd HH:mm:ss.
inline constexpr char kSnapshotText[] = "Snapshot";
inline constexpr char kRecordText[] = "Record";
inline constexpr char kStopRecordText[] = "Stop";
inline constexpr char kViewText[] = "View :";
inline constexpr char kGroupPreviousText[] = "<";
inline constexpr char kGroupNextText[] = ">";
inline constexpr char kWallText[] = "Wall";
inline constexpr char kStringRecordedRange[] = "Recorded from %1 to %2";

// The dialog's title for a build variant; empty for unknown variants.
const char* titleForVariant(int32_t variant);

}  // namespace orvix
