// The mosaic of several channels' pictures and the channel lists of the
// command line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli_options.h"
#include "cli/mosaic.h"
#include "cli/png_writer.h"

using namespace orvix::cli;

namespace {

ChannelKept solid(int width, int height, uint8_t value) {
    ChannelKept k;
    k.width = width;
    k.height = height;
    k.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, value);
    return k;
}

uint8_t at(const Mosaic& m, int x, int y) { return m.pixels[(static_cast<size_t>(y) * m.width + x) * 4]; }

}  // namespace

TEST(Mosaic, ColumnsAreTheCeilingOfTheSquareRoot) {
    const int expected[] = {1, 1, 2, 2, 2, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4};
    for (int k = 0; k <= 16; ++k) EXPECT_EQ(mosaicColumns(k), expected[k]) << k;
}

TEST(Mosaic, TilesTakeTheFirstPicturesSizeInOrder) {
    // Three tiles: two columns, two rows, the fourth black; the second tile is
    // twice as large and scaled down, the third missing.
    const Mosaic m = composeMosaic({solid(4, 2, 10), solid(8, 4, 20), ChannelKept{}});
    ASSERT_EQ(m.width, 8);
    ASSERT_EQ(m.height, 4);
    EXPECT_EQ(m.columns, 2);
    EXPECT_EQ(at(m, 0, 0), 10);
    EXPECT_EQ(at(m, 3, 1), 10);
    EXPECT_EQ(at(m, 4, 0), 20);
    EXPECT_EQ(at(m, 7, 1), 20);
    EXPECT_EQ(at(m, 0, 2), 0);
    EXPECT_EQ(at(m, 7, 3), 0);
    // Without the first channel's picture there is no size to give the tiles.
    EXPECT_TRUE(composeMosaic({ChannelKept{}, solid(4, 2, 10)}).pixels.empty());
    // A picture whose buffer is shorter than its size says is left out.
    ChannelKept shortTile = solid(4, 2, 30);
    shortTile.pixels.resize(8);
    EXPECT_EQ(at(composeMosaic({solid(4, 2, 10), shortTile}), 4, 0), 0);
}

TEST(Mosaic, OneLargerThanTheLimitIsScaledToFitAndWritten) {
    // Sixteen tiles of the first channel's 4096x4096 would be 16384x16384,
    // more than the PNG encoder takes.
    std::vector<ChannelKept> tiles(16);
    tiles[0] = solid(4096, 4096, 90);
    Mosaic m = composeMosaic(tiles);
    EXPECT_LE(int64_t{m.width} * m.height, kMaxMosaicPixels);
    EXPECT_EQ(m.tileWidth, m.tileHeight);
    EXPECT_EQ(m.width, 4 * m.tileWidth);
    EXPECT_EQ(at(m, m.tileWidth - 1, m.tileHeight - 1), 90);
    EXPECT_EQ(at(m, m.tileWidth, 0), 0);
    const std::string path =
        (std::filesystem::temp_directory_path() / ("orvix_mosaic_" + std::to_string(::getpid()) + ".png")).string();
    std::string error;
    EXPECT_TRUE(writePng(path, PictureView{m.pixels.data(), m.width, m.height, m.width * 4}, error)) << error;
    std::remove(path.c_str());
}

TEST(ChannelOption, ListsAndTheFirstChannel) {
    auto parsed = parseCommandLine({"--host", "h", "--port", "1", "--user", "u", "--channel", "5,2-3"});
    ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::Run) << parsed.error;
    EXPECT_EQ(parsed.options.channel, 5);
    EXPECT_EQ(parsed.options.channels.text(), "5,2,3");
    parsed = parseCommandLine({"--host", "h", "--port", "1", "--user", "u"});
    EXPECT_EQ(parsed.options.channels.text(), "1");
    parsed = parseCommandLine({"--host", "h", "--port", "1", "--user", "u", "--channel", "2,2"});
    EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::Error);
}
