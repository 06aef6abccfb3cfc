// One picture of several channels: ceil(sqrt(k)) columns, the channels row by
// row in the order given, every tile the size of the first channel's
// picture, or smaller in the same proportions where the whole would exceed
// the mosaic's limit. A picture of another size is scaled to its tile
// (nearest pixel); a channel without a picture leaves its tile black.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/grid_pictures.h"

namespace orvix::cli {

struct Mosaic {
    std::vector<uint8_t> pixels;  // rows of width * 4 bytes
    int width = 0;
    int height = 0;
    int columns = 0;
    int tileWidth = 0;
    int tileHeight = 0;
};

// The largest mosaic: sixteen 1920x1080 tiles. Well inside what the PNG
// encoder takes (FFmpeg refuses pictures of (w + 128) * (h + 128) >=
// INT_MAX / 8 pixels), and a bound on the memory the snapshot needs.
constexpr int64_t kMaxMosaicPixels = int64_t{7680} * 4320;

// Columns for k tiles: the smallest c with c * c >= k.
int mosaicColumns(int tiles);

// Empty when the first tile has no picture. The pictures are copied as they
// are; the caller draws overlays onto the tiles.
Mosaic composeMosaic(const std::vector<ChannelKept>& tiles, int64_t maxPixels = kMaxMosaicPixels);

}  // namespace orvix::cli
