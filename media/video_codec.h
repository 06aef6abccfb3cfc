// The compression a recorder model sends its video in.
#pragma once

#include <cstdint>

namespace orvix {

enum class VideoCodec {
    None,
    Mpeg4,  // MPEG-4 part 2
    H264,
};

VideoCodec codecForModel(int32_t modelIndex);

}  // namespace orvix
