// The fixed H.264 parameter sets (SPS then PPS, Annex B) that raw-stream
// recorders leave out. A key picture is decoded with the set chosen by the
// packet's video-standard bit and resolution code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

struct RawParameterSet {
    const uint8_t* bytes;
    size_t length;
    int width;
    int height;
};

// The set for (standard bit 0/1, resolution code 0-2); null for codes 3-7.
const RawParameterSet* rawParameterSet(int standardBit, int resolutionCode);

}  // namespace orvix
