// The link's progress code (LinkStatus 0-15) as the status line shows it:
// its text and its colours. Colour values are 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvix {

class RecorderConnection;

enum LinkStatusCode : int {
    kStatusDisconnect = 0,
    kStatusConnectReq = 1,
    kStatusConnectOk = 2,
    kStatusConnectFail = 3,
    kStatusLoginReq = 4,
    kStatusLoginOk = 5,
    kStatusLoginFail = 6,
    kStatusModelMismatch = 7,
    kStatusDataSendReq = 8,
    kStatusDataSendOk = 9,
    kStatusDdnsConnReq = 10,
    kStatusDdnsConnOk = 11,
    kStatusDdnsInfoReq = 12,
    kStatusDdnsInfoOk = 13,
    kStatusDisconnectAlt = 14,
    kStatusSearchInfoFail = 15,
};

constexpr uint32_t kStatusWhite = 0x00FFFFFF;
constexpr uint32_t kStatusDarkShadow = 0x00646464;
constexpr uint32_t kStatusRed = 0x000000FF;
constexpr uint32_t kStatusLightShadow = 0x00C8C8C8;
// The info line under the status line: shadow, then text.
constexpr uint32_t kInfoShadowColour = 0x00323232;
constexpr uint32_t kInfoTextColour = 0x0000FFFF;

struct StatusColours {
    uint32_t text;
    uint32_t shadow;
};

// White on dark grey for 0, 1, 2, 14 and values above 15; red on light grey
// for the others.
StatusColours statusColours(int status);

// What the status texts fill in.
struct StatusValues {
    std::string_view address;  // status 1: the recorder address being connected
    int port = 0;              // status 1
    int channel = 0;           // status 8: the current channel
    uint32_t framesPerSecond = 0;  // status 9
    uint32_t byteRate = 0;         // status 9: bytes per 4 s shifted right by 12
};

std::string statusText(int status, const StatusValues& values);

// The status line while the link waits to connect again by itself:
// "Reconnecting in 8 s (attempt 3)".
std::string reconnectText(int64_t remainingMs, int attempt);
// The seconds it shows for `remainingMs`: rounded to the nearest whole
// second, at least 1.
int64_t reconnectSecondsShown(int64_t remainingMs);

// The status line of a connection: its status with the address the link
// connected to, the record's current channel and the rates of the last
// 4-second period, or the pending reconnect. Safe to call from the window thread at any time; a null
// connection reads as status 0.
std::string formatStatusLine(const RecorderConnection* connection);

}  // namespace orvix
