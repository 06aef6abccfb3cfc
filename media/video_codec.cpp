#include "media/video_codec.h"

namespace orvix {

VideoCodec codecForModel(int32_t m) {
    if ((m >= 0 && m <= 2) || (m >= 10 && m <= 16) || m == 20 || m == 21 || m == 47) return VideoCodec::Mpeg4;
    if ((m >= 23 && m <= 46) || (m >= 48 && m <= 52)) return VideoCodec::H264;
    return VideoCodec::None;
}

}  // namespace orvix
