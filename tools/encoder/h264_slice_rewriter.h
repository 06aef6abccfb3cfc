// Re-targets coded H.264 slices from the parameter sets they were encoded
// with to another pair of parameter sets: the slice header is rewritten field
// by field, the slice data bits are copied unchanged behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/encoder/h264_parameter_sets.h"

namespace orvix::media {

class SliceRewriter {
public:
    // Accepts the pair only if every slice coded for `source` decodes to the
    // same picture under `target` once its header is rewritten: same picture
    // size, entropy coding, chroma offsets, intra prediction, transform and
    // reference count; frame pictures only. Resets the picture counters.
    bool configure(const SequenceParameterSet& sourceSps, const PictureParameterSet& sourcePps,
                   const SequenceParameterSet& targetSps, const PictureParameterSet& targetPps,
                   std::string* error = nullptr);

    // Rewrites one coded slice NAL unit (header byte first, with emulation
    // prevention, no start code) and appends it to `out` behind a four-byte
    // start code. I and P slices only; the first picture must be an IDR
    // picture. frame_num and the picture order count are renumbered for the
    // target from the pictures seen since the last IDR picture. On failure
    // nothing is appended.
    bool rewrite(const uint8_t* nal, size_t size, std::vector<uint8_t>& out, std::string* error = nullptr);

    // Forgets the pictures seen; the next slice must belong to an IDR picture.
    void reset();

private:
    SequenceParameterSet sourceSps_, targetSps_;
    PictureParameterSet sourcePps_, targetPps_;
    bool configured_ = false;

    // State of the picture the last slice belonged to.
    bool started_ = false;
    bool currentIdr_ = false;
    uint32_t currentSourceFrameNum_ = 0;
    uint64_t frameNumber_ = 0;     // frame_num since the IDR picture, before wrapping
    uint64_t prevRefFrameNumber_ = 0;
    uint64_t pictureCount_ = 0;    // pictures since the IDR picture
};

}  // namespace orvix::media
