// The 32-bit pictures the scalers accept: both sides 1 to 8192 (larger than
// the decoder ever hands on) and rows at least a picture row long.
#pragma once

#include <cstdint>

namespace orvix {

constexpr int kMaxScaledSide = 8192;

inline bool scalablePicture(int width, int height, int rowBytes) {
    return width > 0 && height > 0 && width <= kMaxScaledSide && height <= kMaxScaledSide &&
           static_cast<int64_t>(rowBytes) >= static_cast<int64_t>(width) * 4;
}

}  // namespace orvix
