// What the recording needs to know about one packet of an elementary video
// stream (MPEG-4 Visual, or H.264 in Annex B form): whether it starts a key
// picture, and the stream headers a file keeps apart from the pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/video_codec.h"

namespace orvix {

// MPEG-4: the packet holds an intra-coded picture (VOP coding type I).
// H.264: the packet holds an IDR slice.
bool isKeyPacket(VideoCodec codec, const uint8_t* bytes, size_t length);

// MPEG-4: everything before the first picture start (the VOS, VO and VOL
// headers). H.264: the sequence and picture parameter sets with their start
// codes. Empty when the packet carries none.
std::vector<uint8_t> streamHeaders(VideoCodec codec, const uint8_t* bytes, size_t length);

}  // namespace orvix
