#include "link/frame_kind.h"

namespace orvix {

FrameKind frameKindForModel(int32_t m) {
    if ((m >= 0 && m <= 2) || (m >= 12 && m <= 16) || m == 20 || m == 21 || m == 47) return FrameKind::Header64;
    if (m == 10 || m == 11 || (m >= 23 && m <= 25) || (m >= 48 && m <= 51)) return FrameKind::Header32;
    if ((m >= 26 && m <= 46) || m == 52) return FrameKind::Header32Raw;
    return FrameKind::None;
}

}  // namespace orvix
