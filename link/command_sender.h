// Builds, frames and sends one command on a connection.
#pragma once

#include <cstdint>

#include "link/command_codes.h"
#include "link/recorder_connection.h"

namespace orvix {

// sendCommand(code, argument, parameter, flag). The arguments by command:
//   COMMAND_CONNECT_REQ      argument: const char16_t* host (NUL-terminated),
//                            parameter: port. Opens the TCP connection; no packet.
//   COMMAND_DATA_SEND_REQ    argument: channel (0-15, kNoChannel, or
//                            kShownChannels for the connection's shown set),
//                            parameter: origin (0 channel chosen, 1 I-only toggled).
//   COMMAND_SEARCH_TIME_REQ  argument: start time in seconds since 1970.
//   COMMAND_PLAY_CONTROL_REQ argument: const PlayControlBlock* (null: the
//                            block in use, speed 1, hundredths 0, direction 1).
//   COMMAND_ALARM_OUT_REQ    flag: 1 on, 0 off; argument: output (0 all),
//                            parameter: duration in seconds (0 no limit).
//   COMMAND_PTZ_REQ          argument: action 0-10, parameter: preset number.
//   COMMAND_DDNS_INFO_REQ    sets status 12 and reports statusChanged() first.
//   the others               no arguments, empty payload.
// Commands other than the connect go out only for a model index of the Wide
// or Plain class. Returns the bytes sent, 0 when nothing was sent, -1 when
// the socket refused (nobody needs to look at it).
// The data request's channel argument for what the connection shows: the
// record's current channel in the single view, else kShownChannels.
int shownChannelArgument(const RecorderConnection& connection);

int sendCommand(RecorderConnection& connection, uint32_t code, uintptr_t argument = 0, intptr_t parameter = 0,
                int flag = 0);

}  // namespace orvix
