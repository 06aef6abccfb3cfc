#include "link/command_wrappers.h"

#include "link/command_codes.h"
#include "link/command_sender.h"
#include "link/link_status.h"
#include "link/recorder_connection.h"

namespace orvix {
namespace {

bool streaming(const RecorderConnection* c) { return c != nullptr && c->status.load() == kStatusDataSendOk; }

void setMode(RecorderConnection& c, int mode) {
    c.mode.store(mode);
    c.display.mode.store(mode);
}

// A sequence of commands goes on only while each one went out: after a
// failed send the rest is given up (a recorder that stopped reading would
// otherwise hold the window once per command).
bool sent(int result) { return result >= 0; }

}  // namespace

void requestData(RecorderConnection* c, int channel, int origin) {
    if (!streaming(c)) return;
    sendCommand(*c, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(channel), origin);
}

void requestPtz(RecorderConnection* c, int action, int32_t preset) {
    if (!streaming(c) || action < 0 || action > 10) return;
    const int32_t parameter = action == 5 || action == 6 ? preset : 1;
    sendCommand(*c, COMMAND_PTZ_REQ, static_cast<uintptr_t>(action), parameter);
}

void switchAlarmOn(RecorderConnection* c, int output, uint32_t duration) {
    if (!streaming(c)) return;
    sendCommand(*c, COMMAND_ALARM_OUT_REQ, static_cast<uintptr_t>(output), static_cast<intptr_t>(duration), 1);
}

void switchAlarmOff(RecorderConnection* c) {
    if (!streaming(c)) return;
    sendCommand(*c, COMMAND_ALARM_OUT_REQ, 0, 0, 0);
}

const char* requestRecordInfo(RecorderConnection* c) {
    if (!streaming(c) || !sent(sendCommand(*c, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(kNoChannel), 0)) ||
        !sent(sendCommand(*c, COMMAND_RECORD_INFO_REQ))) {
        return nullptr;
    }
    return "Record Info Request..";
}

const char* startSearch(RecorderConnection* c, uint32_t startTime) {
    if (c == nullptr) return nullptr;
    // Search mode begins only once the recorder has been asked to play.
    if (streaming(c) && sent(sendCommand(*c, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(shownChannelArgument(*c)), 0)) &&
        sent(sendCommand(*c, COMMAND_SEARCH_MODE_REQ)) && sent(sendCommand(*c, COMMAND_SEARCH_TIME_REQ, startTime)) &&
        sent(sendCommand(*c, COMMAND_SEARCH_PLAY_REQ))) {
        setMode(*c, 1);
        sendCommand(*c, COMMAND_PLAY_CONTROL_REQ);
    }
    return "Search start ...";
}

namespace {

// No channel, search mode, search end: the recorder stops sending.
bool sendSearchEnd(RecorderConnection& c) {
    return sent(sendCommand(c, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(kNoChannel), 0)) &&
           sent(sendCommand(c, COMMAND_SEARCH_MODE_REQ)) && sent(sendCommand(c, COMMAND_SEARCH_END_REQ));
}

}  // namespace

const char* endSearch(RecorderConnection* c) {
    if (c == nullptr) return nullptr;
    // Live mode returns once the recorder has been asked to end the search.
    if (streaming(c) && sendSearchEnd(*c)) {
        sendCommand(*c, COMMAND_DATA_SEND_REQ, static_cast<uintptr_t>(shownChannelArgument(*c)), 0);
        setMode(*c, 0);
    }
    return "Search end -> goto Live";
}

const char* haltSearch(RecorderConnection* c) {
    // Search mode stays: the picture kept is a recorded one.
    if (!streaming(c) || !sendSearchEnd(*c)) return nullptr;
    return "PAUSED";
}

}  // namespace orvix
