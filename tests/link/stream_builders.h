// Builders of the byte streams a recorder or a DDNS server sends: command
// packets in either framing and video packets of the five kinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/wire_format.h"

namespace orvix::test {

using Bytes = std::vector<uint8_t>;

Bytes commandPacket(FramingKind framing, uint32_t code, const Bytes& payload = {});

enum class VideoKind { F2, F3, F5, Badj, Ndav, Nda };

struct VideoParams {
    VideoKind kind = VideoKind::F5;
    int channel = 0;
    bool key = true;
    int frameType = -1;        // overrides the frame type the key flag gives
    uint8_t streamKind = 0;    // 0 live; 8 (NDAV: 1) search
    size_t payloadBytes = 64;  // F2: a multiple of 32, BADJ: of 4
    uint8_t tag = 0;           // first payload byte, to tell packets apart
    uint32_t time = 0x11223344;
    bool plainEnd = false;     // F5: end with NEND instead of 00 00 01 B4
    size_t extraBytes = 0;     // bytes beyond what the length field says
};

// Header (32 bytes) + payload + end marker, the fields as the kind lays them
// out (BADJ's time and length big-endian). Payload bytes are 0x55 but for
// the tag, so no marker can occur inside.
Bytes videoPacket(const VideoParams& params);

// An F5 packet around real coded video, with the 64-byte header the display
// side reads for models of that layout: time at 4, channel and key flag at 8,
// length (everything after the first 36 bytes) at 12.
Bytes f5Header64Packet(const Bytes& payload, uint32_t seconds, int channel, bool key);

// A long-form recorder description (552 bytes).
Bytes description(uint32_t modelCode, uint16_t protocolVersion, int16_t cameras = 4);

// The COMMAND_LOGIN_OK payload: flags at 4, values at 8-20.
Bytes loginOkPayload(uint32_t flags, uint32_t v0 = 0, uint32_t v1 = 0, uint32_t v2 = 0, uint32_t v3 = 0);

// Two 32-bit values (record and search information, DDNS reply port).
Bytes twoValues(uint32_t first, uint32_t second);

Bytes concat(std::initializer_list<Bytes> parts);

}  // namespace orvix::test
