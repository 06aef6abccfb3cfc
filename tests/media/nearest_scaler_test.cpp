#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "media/nearest_scaler.h"

namespace orvix {
namespace {

// A picture whose every pixel names its own column and row, so a scaled
// copy shows which source pixel each target pixel came from.
struct Numbered {
    int width;
    int height;
    int rowBytes;
    std::vector<uint8_t> bytes;

    Numbered(int w, int h, int padding = 0) : width(w), height(h), rowBytes(w * 4 + padding) {
        bytes.assign(static_cast<size_t>(rowBytes) * h, 0xee);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = bytes.data() + static_cast<size_t>(y) * rowBytes + x * 4;
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(y);
                p[2] = 7;
                p[3] = 255;
            }
        }
    }
    int column(int x, int y) const { return bytes[static_cast<size_t>(y) * rowBytes + x * 4]; }
    int row(int x, int y) const { return bytes[static_cast<size_t>(y) * rowBytes + x * 4 + 1]; }
};

bool scale(NearestScaler& scaler, const Numbered& from, Numbered& to) {
    return scaler.scale(from.bytes.data(), from.width, from.height, from.rowBytes, to.bytes.data(), to.width,
                        to.height, to.rowBytes);
}

TEST(NearestScaler, EachTargetPixelTakesTheSourcePixelAtItsCentre) {
    NearestScaler scaler;
    const Numbered source(8, 6);
    // Halved: columns 1, 3, 5, 7 and rows 1, 3, 5.
    Numbered half(4, 3);
    ASSERT_TRUE(scale(scaler, source, half));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(half.column(x, y), 2 * x + 1);
            EXPECT_EQ(half.row(x, y), 2 * y + 1);
        }
    }
    // Doubled: every source pixel twice across and twice down.
    Numbered twice(16, 12);
    ASSERT_TRUE(scale(scaler, source, twice));
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(twice.column(x, y), x / 2);
            EXPECT_EQ(twice.row(x, y), y / 2);
        }
    }
    // An uneven shrink keeps the first and last columns' neighbourhoods and
    // never reads past the picture.
    Numbered odd(5, 4);
    ASSERT_TRUE(scale(scaler, source, odd));
    EXPECT_EQ(odd.column(0, 0), 0);
    EXPECT_EQ(odd.column(4, 3), 7);
    EXPECT_EQ(odd.row(4, 3), 5);
}

TEST(NearestScaler, EnlargingAndShrinkingBackGivesTheSamePicture) {
    // Metamorphic: an enlargement by a whole factor loses nothing, so the
    // shrink back must give the original, whatever the padding of the rows.
    for (int factor : {2, 3, 5}) {
        NearestScaler up;
        NearestScaler down;
        const Numbered original(37, 23, 12);
        Numbered large(37 * factor, 23 * factor, 4);
        Numbered back(37, 23);
        ASSERT_TRUE(scale(up, original, large));
        ASSERT_TRUE(scale(down, large, back));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                ASSERT_EQ(back.column(x, y), x) << factor;
                ASSERT_EQ(back.row(x, y), y) << factor;
            }
        }
        // The padding behind each target row is left alone.
        EXPECT_EQ(large.bytes[static_cast<size_t>(large.width) * 4], 0xee);
    }
}

TEST(NearestScaler, RefusesWhatWouldReadOrWritePastABuffer) {
    NearestScaler scaler;
    const Numbered source(8, 6);
    Numbered target(4, 3);
    const std::vector<uint8_t> before = target.bytes;
    EXPECT_FALSE(scaler.scale(nullptr, 8, 6, 32, target.bytes.data(), 4, 3, 16));
    EXPECT_FALSE(scaler.scale(source.bytes.data(), 8, 6, 32, nullptr, 4, 3, 16));
    EXPECT_FALSE(scaler.scale(source.bytes.data(), 8, 6, 31, target.bytes.data(), 4, 3, 16));  // short rows
    EXPECT_FALSE(scaler.scale(source.bytes.data(), 8, 6, 32, target.bytes.data(), 4, 3, 15));
    EXPECT_FALSE(scaler.scale(source.bytes.data(), 0, 6, 32, target.bytes.data(), 4, 3, 16));
    EXPECT_FALSE(scaler.scale(source.bytes.data(), 8, 6, 32, target.bytes.data(), 4, -3, 16));
    EXPECT_FALSE(scaler.scale(source.bytes.data(), 100000, 6, 400000, target.bytes.data(), 4, 3, 16));
    EXPECT_EQ(target.bytes, before);
}

}  // namespace
}  // namespace orvix
