// How the display thread reads a ring slot, chosen by the recorder's model
// index: the header size and where the payload and the picture time are.
#pragma once

#include <cstdint>

namespace orvix {

enum class FrameKind {
    None,         // released without being looked at
    Header64,     // 64-byte header, payload up to the 4-byte end marker
    Header32,     // 32-byte header, payload up to the 4-byte end marker
    Header32Raw,  // 32-byte header, raw H.264 payload of the header's length
};

FrameKind frameKindForModel(int32_t modelIndex);

}  // namespace orvix
