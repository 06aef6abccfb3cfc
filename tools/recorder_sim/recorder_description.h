// The payload of COMMAND_CONNECT_OK with which the simulated recorder
// describes itself: the long form (552 or 556 bytes, camera names "CAM 01"
// ...) or the short form (276 bytes).
#pragma once

#include <cstdint>
#include <vector>

namespace orvix::sim {

struct DescriptionFields {
    int length = 552;  // 276, 552 or 556
    uint32_t modelCode = 11;
    int cameras = 4;
    int protocolVersion = 24;
    int protocolSubVersion = 0;
    uint8_t videoStandardBit = 1;  // first video attribute byte
};

std::vector<uint8_t> buildDescription(const DescriptionFields& fields);

// The fields of COMMAND_LOGIN_OK: capability flags (every capability) and
// four values (cameras, presets, alarm outputs, 0).
std::vector<uint8_t> buildLoginOk(int cameras);

}  // namespace orvix::sim
