#include "cli/mosaic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvix::cli {

int mosaicColumns(int tiles) {
    int columns = 1;
    while (columns * columns < tiles) ++columns;
    return columns;
}

Mosaic composeMosaic(const std::vector<ChannelKept>& tiles, int64_t maxPixels) {
    Mosaic m;
    if (tiles.empty() || tiles[0].pixels.empty() || tiles[0].width <= 0 || tiles[0].height <= 0) return m;
    const int count = static_cast<int>(tiles.size());
    m.columns = mosaicColumns(count);
    const int rows = (count + m.columns - 1) / m.columns;
    m.tileWidth = tiles[0].width;
    m.tileHeight = tiles[0].height;
    const double whole = static_cast<double>(m.tileWidth) * m.tileHeight * m.columns * rows;
    if (whole > static_cast<double>(maxPixels)) {
        // Both sides by the same factor, rounded down, so the whole fits.
        const double factor = std::sqrt(static_cast<double>(maxPixels) / whole);
        m.tileWidth = std::max(1, static_cast<int>(m.tileWidth * factor));
        m.tileHeight = std::max(1, static_cast<int>(m.tileHeight * factor));
    }
    m.width = m.tileWidth * m.columns;
    m.height = m.tileHeight * rows;
    const size_t rowBytes = static_cast<size_t>(m.width) * 4;
    m.pixels.assign(rowBytes * static_cast<size_t>(m.height), 0);
    for (int i = 0; i < count; ++i) {
        const ChannelKept& tile = tiles[static_cast<size_t>(i)];
        if (tile.pixels.empty() || tile.width <= 0 || tile.height <= 0 ||
            tile.pixels.size() < static_cast<size_t>(tile.width) * static_cast<size_t>(tile.height) * 4)
            continue;
        const int left = (i % m.columns) * m.tileWidth;
        const int top = (i / m.columns) * m.tileHeight;
        const bool sameSize = tile.width == m.tileWidth && tile.height == m.tileHeight;
        for (int y = 0; y < m.tileHeight; ++y) {
            uint8_t* out = m.pixels.data() + rowBytes * static_cast<size_t>(top + y) + static_cast<size_t>(left) * 4;
            const int sourceY = sameSize ? y : static_cast<int>(static_cast<int64_t>(y) * tile.height / m.tileHeight);
            const uint8_t* in = tile.pixels.data() + static_cast<size_t>(sourceY) * static_cast<size_t>(tile.width) * 4;
            if (sameSize) {
                std::memcpy(out, in, static_cast<size_t>(m.tileWidth) * 4);
                continue;
            }
            for (int x = 0; x < m.tileWidth; ++x) {
                const int sourceX = static_cast<int>(static_cast<int64_t>(x) * tile.width / m.tileWidth);
                std::memcpy(out + static_cast<size_t>(x) * 4, in + static_cast<size_t>(sourceX) * 4, 4);
            }
        }
    }
    return m;
}

}  // namespace orvix::cli
