// The user's requests as the window thread sends them to the recorder. Each
// acts only while the link status is 9 (data flowing) and does nothing
// without a connection. The search wrappers and the record information
// request return the info line text the window shows; null leaves it as it
// is.
#pragma once

#include <cstdint>

namespace orvix {

class RecorderConnection;

// COMMAND_DATA_SEND_REQ for `channel` (0-15, or kNoChannel) and `origin`
// (0 channel chosen, 1 I-frame-only toggled).
void requestData(RecorderConnection* connection, int channel, int origin);

// Camera control, action 0-10 (actions 5 and 6 take the preset number,
// counted from 1; the others send 1); actions above 10 send nothing.
void requestPtz(RecorderConnection* connection, int action, int32_t preset);

// Alarm output on (output 0 = all, duration in seconds, 0 = no limit) and off.
void switchAlarmOn(RecorderConnection* connection, int output, uint32_t duration);
void switchAlarmOff(RecorderConnection* connection);

// Leaves the channel, asks for the recorded time range: "Record Info Request..";
// null when it was not asked (no video flowing, or a send failed).
const char* requestRecordInfo(RecorderConnection* connection);

// Enters search mode and plays from `startTime` (seconds since 1970):
// "Search start ...", whatever the status.
const char* startSearch(RecorderConnection* connection, uint32_t startTime);

// Leaves search mode and returns to live video of the current channel:
// "Search end -> goto Live", whatever the status.
const char* endSearch(RecorderConnection* connection);

// Ends the search without asking for video again (a pause: the last
// picture stays): "PAUSED"; null when it was not sent (no video flowing).
const char* haltSearch(RecorderConnection* connection);

}  // namespace orvix
