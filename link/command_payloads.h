// Payloads of the commands the client sends, built into caller buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/device_record.h"

namespace orvix {

// Login: account and password in 50-byte fields (plain text up to protocol
// version 23, salted SHA-256 digests from 24 on) and, from version 2 on, the
// model field (0 Wide class, 7 Plain class). Returns 100 or 104, or 0 when
// the model index belongs to neither class.
size_t buildLoginPayload(const DeviceRecord& record, uint8_t out[104]);

// The fixed 8-byte salt put in front of login texts before hashing.
extern const uint8_t kLoginSalt[8];

// One COMMAND_DATA_SEND_REQ packet: flag at offset 4, channel byte 8 + c set
// when `selected` (only for channels 0-15).
void buildDataSendPayload(uint8_t out[24], uint32_t flag, int channel, bool selected);
// The same for several channels: byte 8 + c set for each bit c of
// `channels` when `selected`.
void buildDataSendPayloadForSet(uint8_t out[24], uint32_t flag, uint16_t channels, bool selected);

// The packets a data request sends, in order.
struct DataRequestPlan {
    struct Packet {
        uint32_t flag;
        bool selected;
    };
    int count = 0;
    Packet packets[3]{};
    bool playControlAfter = false;  // then COMMAND_PLAY_CONTROL_REQ 01 00 00 01
};
DataRequestPlan planDataRequest(int channel, int origin, bool iframeOnly, int32_t modelIndex, bool searchMode);

// Playback control block; the only block in use is speed 1, hundredths 0,
// direction 1.
struct PlayControlBlock {
    uint16_t speed = 1;
    uint8_t hundredths = 0;
    uint8_t direction = 1;
};
void buildPlayControlPayload(uint8_t out[4], int32_t modelIndex, const PlayControlBlock& block);
// The fixed bytes of play control for models that do not take a number.
extern const uint8_t kPlayControlFixed[4];

// Camera control: action 0-10 mapped to its sub-code. Returns false (and
// nothing is to be sent) for any other action.
bool buildPtzPayload(uint8_t out[16], int32_t channel, int action, int32_t preset);

// Alarm output on (output 0 = all, duration in seconds, 0 = no limit) or off.
void buildAlarmPayload(uint8_t out[44], bool on, int output, uint32_t duration);

// The DDNS id as narrow text in a 16-byte field.
void buildDdnsInfoReqPayload(uint8_t out[16], std::u16string_view ddnsId);

}  // namespace orvix
