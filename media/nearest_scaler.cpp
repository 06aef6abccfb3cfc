#include "media/nearest_scaler.h"

#include <cstring>

#include "media/picture_bounds.h"

namespace orvix {
namespace {

// The source index whose span holds the centre of target index `i`.
uint32_t centreOf(int i, int from, int to) {
    return static_cast<uint32_t>((int64_t{2} * i + 1) * from / (int64_t{2} * to));
}

}  // namespace

bool NearestScaler::scale(const uint8_t* source, int width, int height, int sourceRowBytes, uint8_t* target,
                          int targetWidth, int targetHeight, int targetRowBytes) {
    if (source == nullptr || target == nullptr || !scalablePicture(width, height, sourceRowBytes) ||
        !scalablePicture(targetWidth, targetHeight, targetRowBytes)) {
        return false;
    }
    if (width != mappedWidth_ || targetWidth != mappedTargetWidth_) {
        columns_.resize(static_cast<size_t>(targetWidth));
        for (int x = 0; x < targetWidth; ++x) columns_[static_cast<size_t>(x)] = centreOf(x, width, targetWidth);
        mappedWidth_ = width;
        mappedTargetWidth_ = targetWidth;
    }
    const uint32_t* columns = columns_.data();
    const uint8_t* previous = nullptr;
    for (int y = 0; y < targetHeight; ++y) {
        const uint8_t* from = source + static_cast<size_t>(sourceRowBytes) * centreOf(y, height, targetHeight);
        uint8_t* to = target + static_cast<size_t>(targetRowBytes) * static_cast<size_t>(y);
        if (from == previous) {
            // An enlarged picture repeats rows: the row above is copied.
            std::memcpy(to, target + static_cast<size_t>(targetRowBytes) * static_cast<size_t>(y - 1),
                        static_cast<size_t>(targetWidth) * 4);
            continue;
        }
        previous = from;
        if (width == targetWidth) {
            std::memcpy(to, from, static_cast<size_t>(width) * 4);
            continue;
        }
        // Pixels are moved as 4-byte words (memcpy of a fixed 4 is one load
        // and one store).
        for (int x = 0; x < targetWidth; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, from + size_t{4} * columns[x], 4);
            std::memcpy(to + size_t{4} * static_cast<size_t>(x), &pixel, 4);
        }
    }
    return true;
}

}  // namespace orvix
