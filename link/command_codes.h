// Protocol command codes shared by the builders and the parsers.
#pragma once

#include <cstdint>

namespace orvix {

enum CommandCode : uint32_t {
    COMMAND_CONNECT_REQ = 0,
    COMMAND_CONNECT_OK = 1,
    COMMAND_LOGIN_REQ = 3,
    COMMAND_LOGIN_OK = 4,
    COMMAND_LOGIN_FAIL = 5,
    COMMAND_DATA_SEND_REQ = 6,
    COMMAND_DATA_SEND_OK = 7,
    COMMAND_ECHO_REQ = 11,
    COMMAND_ECHO_ACK = 12,
    COMMAND_RECORD_INFO_REQ = 13,
    COMMAND_RECORD_INFO = 14,
    COMMAND_SEARCH_INFO_FAIL = 16,
    COMMAND_SEARCH_INFO = 17,
    COMMAND_SEARCH_PLAY_REQ = 22,
    COMMAND_SEARCH_MODE_REQ = 23,
    COMMAND_PLAY_CONTROL_REQ = 27,
    COMMAND_SEARCH_TIME_REQ = 29,
    COMMAND_SEARCH_END_REQ = 30,
    COMMAND_DATA_RESEND = 31,
    COMMAND_DDNS_READY = 42,
    COMMAND_DDNS_INFO_REQ = 44,
    COMMAND_DDNS_INFO = 45,
    COMMAND_ALARM_OUT_REQ = 52,
    COMMAND_PTZ_REQ = 53,
};

// Payload sizes of the commands the client sends.
constexpr int kLoginFieldSize = 50;
constexpr int kLoginPayloadShort = 100;
constexpr int kLoginPayloadLong = 104;
constexpr int kDataSendReqPayload = 24;
constexpr int kPlayControlPayload = 4;
constexpr int kSearchTimePayload = 4;
constexpr int kDdnsInfoReqPayload = 16;
constexpr int kAlarmOutPayload = 44;
constexpr int kPtzPayload = 16;

// The data request's channel value meaning "no channel".
constexpr int kNoChannel = 1024;
// The data request's channel argument that asks for the connection's shown
// channel set (several channels at once) instead of one channel.
constexpr int kShownChannels = 2048;

}  // namespace orvix
