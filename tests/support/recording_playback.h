// A recording as a player gets it: the codec of its first track, and the
// pictures and the refused packets of decoding every packet of that track.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace orvix::test {

struct Playback {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int pictures = 0;
    int errors = 0;
};

Playback play(const std::string& path);

}  // namespace orvix::test
