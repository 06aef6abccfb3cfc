#include "tools/recorder_sim/recorder_description.h"

#include <algorithm>
#include <cstdio>

#include "link/wire_format.h"

namespace orvix::sim {

std::vector<uint8_t> buildDescription(const DescriptionFields& f) {
    const int cameras = std::clamp(f.cameras, 0, 16);
    std::vector<uint8_t> out(static_cast<size_t>(f.length == 276 || f.length == 556 ? f.length : 552), 0);
    uint8_t* p = out.data();
    writeLe32(p, f.modelCode);
    writeLe16(p + 4, static_cast<uint16_t>(cameras));
    writeLe16(p + 6, static_cast<uint16_t>(cameras));  // second count: one alarm input per camera
    if (out.size() == 276) {
        // Below version 7 the client reads the first attribute from the
        // 32-bit value at 8 and takes 1 for the second.
        p[8] = f.videoStandardBit;
        p[9] = 1;
        writeLe16(p + 268, static_cast<uint16_t>(f.protocolVersion));
        writeLe16(p + 270, static_cast<uint16_t>(f.protocolSubVersion));
        return out;
    }
    p[8] = f.videoStandardBit;
    p[9] = 1;
    writeLe16(p + 12, static_cast<uint16_t>(f.protocolVersion));
    writeLe16(p + 14, static_cast<uint16_t>(f.protocolSubVersion));
    writeLe32(p + 36, 0);  // names are narrow text
    for (int i = 0; i < cameras; ++i) {
        char name[32] = {};
        std::snprintf(name, sizeof name, "CAM %02d", i + 1);
        std::copy(name, name + sizeof name, reinterpret_cast<char*>(p + 40 + 32 * i));
    }
    return out;
}

std::vector<uint8_t> buildLoginOk(int cameras) {
    std::vector<uint8_t> out(24, 0);
    writeLe32(out.data() + 4, 0x3F);
    writeLe32(out.data() + 8, static_cast<uint32_t>(cameras));
    writeLe32(out.data() + 12, 16);
    writeLe32(out.data() + 16, 128);
    return out;
}

}  // namespace orvix::sim
