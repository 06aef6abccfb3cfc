#include "media/picture_scaler.h"

#include <cstring>

#include "media/picture_bounds.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace orvix {

PictureScaler::~PictureScaler() { sws_freeContext(context_); }

bool PictureScaler::scale(const uint8_t* source, int width, int height, int sourceRowBytes, uint8_t* target,
                          int targetWidth, int targetHeight, int targetRowBytes) {
    if (source == nullptr || target == nullptr || !scalablePicture(width, height, sourceRowBytes) ||
        !scalablePicture(targetWidth, targetHeight, targetRowBytes)) {
        return false;
    }
    if (width == targetWidth && height == targetHeight) {
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        for (int y = 0; y < height; ++y) {
            std::memcpy(target + static_cast<size_t>(targetRowBytes) * static_cast<size_t>(y),
                        source + static_cast<size_t>(sourceRowBytes) * static_cast<size_t>(y), rowBytes);
        }
        return true;
    }
    // Area averaging when shrinking keeps small tiles free of sparkle;
    // bilinear is enough when enlarging.
    const int flags = targetWidth < width || targetHeight < height ? SWS_AREA : SWS_BILINEAR;
    context_ = sws_getCachedContext(context_, width, height, AV_PIX_FMT_BGRA, targetWidth, targetHeight,
                                    AV_PIX_FMT_BGRA, flags, nullptr, nullptr, nullptr);
    if (context_ == nullptr) return false;
    const uint8_t* const sourcePlanes[4] = {source, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {sourceRowBytes, 0, 0, 0};
    uint8_t* const targetPlanes[4] = {target, nullptr, nullptr, nullptr};
    const int targetStrides[4] = {targetRowBytes, 0, 0, 0};
    if (sws_scale(context_, sourcePlanes, sourceStrides, 0, height, targetPlanes, targetStrides) != targetHeight) {
        return false;
    }
    ++scaled_;
    return true;
}

}  // namespace orvix
