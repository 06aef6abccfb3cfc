// Scales 32-bit pictures by taking, for each target pixel, the source pixel
// at its centre: the cheapest scale there is, and what a painter does
// without smoothing. The column map is kept between calls, so a stream of
// pictures of one size costs one pass of reads and writes each. One scaler
// per stream: not for two threads at once.
#pragma once

#include <cstdint>
#include <vector>

namespace orvix {

class NearestScaler {
public:
    // Writes `source` (width x height, rows `sourceRowBytes` apart) scaled
    // to `targetWidth` x `targetHeight` into `target` (rows `targetRowBytes`
    // apart). False, with `target` untouched, for a missing buffer, an empty
    // or oversized side, or rows shorter than a picture row.
    bool scale(const uint8_t* source, int width, int height, int sourceRowBytes, uint8_t* target, int targetWidth,
               int targetHeight, int targetRowBytes);

private:
    std::vector<uint32_t> columns_;  // the source column of each target column
    int mappedWidth_ = 0;            // the widths columns_ was made for
    int mappedTargetWidth_ = 0;
};

}  // namespace orvix
