// Scales 32-bit pictures (blue, green, red, unused) with swscale, keeping
// its context between calls so that a stream of pictures of one size costs
// one scale each. One scaler per stream: not for two threads at once.
#pragma once

#include <cstdint>

struct SwsContext;

namespace orvix {

class PictureScaler {
public:
    PictureScaler() = default;
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // Writes `source` (width x height, rows `sourceRowBytes` apart) scaled
    // to `targetWidth` x `targetHeight` into `target` (rows `targetRowBytes`
    // apart). The same size is copied row by row. False, with `target`
    // untouched, for a missing buffer, an empty size, rows shorter than a
    // picture row or a size swscale refuses.
    bool scale(const uint8_t* source, int width, int height, int sourceRowBytes, uint8_t* target, int targetWidth,
               int targetHeight, int targetRowBytes);
    // How many pictures went through swscale (not the copies).
    uint64_t scaled() const { return scaled_; }

private:
    SwsContext* context_ = nullptr;
    uint64_t scaled_ = 0;
};

}  // namespace orvix
