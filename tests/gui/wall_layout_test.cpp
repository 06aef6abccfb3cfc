// The wall's arrangements and what its tiles say instead of a picture.
#include <gtest/gtest.h>

#include <QRegion>

#include "gui/wall_layout.h"
#include "gui/wall_tile_words.h"

using namespace orvix;
using namespace std::chrono_literals;

namespace {

TEST(WallLayout, EveryArrangementCoversTheAreaWithItsTilesTheLargeOneFirst) {
    struct Case {
        WallArrangement arrangement;
        const char* name;
        int tiles;
        QRect first;  // in a 1200 x 900 area
    };
    const Case cases[] = {
        {WallArrangement::One, "1", 1, QRect(0, 0, 1200, 900)},
        {WallArrangement::Four, "4", 4, QRect(0, 0, 600, 450)},
        {WallArrangement::Nine, "9", 9, QRect(0, 0, 400, 300)},
        {WallArrangement::Sixteen, "16", 16, QRect(0, 0, 300, 225)},
        {WallArrangement::OnePlusFive, "1+5", 6, QRect(0, 0, 800, 600)},
        {WallArrangement::OnePlusSeven, "1+7", 8, QRect(0, 0, 900, 675)},
    };
    EXPECT_EQ(wallArrangements().size(), std::size(cases));
    for (const Case& c : cases) {
        EXPECT_EQ(arrangementName(c.arrangement), c.name);
        EXPECT_EQ(arrangementFromName(c.name), c.arrangement);
        EXPECT_EQ(wallTileCount(c.arrangement), c.tiles);
        for (const QRect& area : {QRect(0, 0, 1200, 900), QRect(5, 7, 1283, 721)}) {
            const std::vector<QRect> tiles = wallTileRects(area, c.arrangement);
            ASSERT_EQ(static_cast<int>(tiles.size()), c.tiles) << c.name;
            QRegion covered;
            int64_t pixels = 0;
            for (const QRect& tile : tiles) {
                EXPECT_FALSE(covered.intersects(tile)) << c.name;
                covered += tile;
                pixels += static_cast<int64_t>(tile.width()) * tile.height();
            }
            EXPECT_EQ(pixels, static_cast<int64_t>(area.width()) * area.height()) << c.name;
        }
        EXPECT_EQ(wallTileRects(QRect(0, 0, 1200, 900), c.arrangement).front(), c.first) << c.name;
    }
    // 1+7: the small tiles down the right edge, then along the bottom.
    const std::vector<QRect> sevens = wallTileRects(QRect(0, 0, 1200, 900), WallArrangement::OnePlusSeven);
    EXPECT_EQ(sevens[1], QRect(900, 0, 300, 225));
    EXPECT_EQ(sevens[4], QRect(0, 675, 300, 225));
    EXPECT_EQ(wallTileAt(QRect(0, 0, 1200, 900), WallArrangement::OnePlusSeven, QPoint(450, 300)), 0);
    EXPECT_EQ(wallTileAt(QRect(0, 0, 1200, 900), WallArrangement::OnePlusSeven, QPoint(1199, 899)), 7);
    EXPECT_EQ(wallTileAt(QRect(0, 0, 1200, 900), WallArrangement::Four, QPoint(1200, 0)), -1);
    EXPECT_FALSE(arrangementFromName("2").has_value());
    EXPECT_FALSE(arrangementFromName("").has_value());
}

TEST(WallTileWords, SayWhyATileShowsNoPicture) {
    const auto now = RecorderState::Clock::now();
    const auto state = [&](RecorderPhase phase, std::string cause = {}, int attempt = 0, bool reached = false) {
        RecorderState s;
        s.phase = phase;
        s.cause = std::move(cause);
        s.attempt = attempt;
        s.reached = reached;
        s.reconnectAt = now + 3200ms;
        return s;
    };
    struct Case {
        WallTileFacts facts;
        TileWords words;
    };
    const Case cases[] = {
        {{"Gone", false, state(RecorderPhase::Streaming), 0, 4, true, 0}, {"Recorder Gone is not in the device list", ""}},
        {{"Shop", true, state(RecorderPhase::Connecting), 0, 0, false, 0}, {"Connecting", ""}},
        {{"Shop", true, state(RecorderPhase::Reconnecting, "Connection reset by the recorder", 2), 0, 4, false, 0},
         {"Reconnecting in 4 s", "Connection reset by the recorder"}},
        {{"Shop", true, state(RecorderPhase::LoginRefused, "the recorder refused the login"), 0, 0, false, 0},
         {"Login refused", ""}},
        {{"Shop", true, state(RecorderPhase::Unreachable, "Connection refused by 127.0.0.1:9000", 1), 0, 0, false, 0},
         {"Recorder unreachable: Connection refused by 127.0.0.1:9000", "Trying again in 4 s"}},
        {{"Shop", true, state(RecorderPhase::Unreachable, "the recorder's model sends no video ORVIX can show", 0, true),
          0, 0, false, 0},
         {"Recorder failed: the recorder's model sends no video ORVIX can show", ""}},
        {{"Shop", true, state(RecorderPhase::Streaming), 5, 4, false, 0}, {"The recorder has no camera 6", ""}},
        {{"Shop", true, state(RecorderPhase::Streaming), 1, 4, false, 2000}, {"Connecting", ""}},
        {{"Shop", true, state(RecorderPhase::Streaming), 1, 4, true, 9999}, {"", ""}},
        {{"Shop", true, state(RecorderPhase::Streaming), 1, 4, true, 12500}, {"No video for 12 s", ""}},
        {{"Shop", true, state(RecorderPhase::Streaming), 1, 4, false, 10000}, {"No video for 10 s", ""}},
    };
    for (const Case& c : cases) {
        const TileWords words = wallTileWords(c.facts, now);
        EXPECT_EQ(words.text, c.words.text);
        EXPECT_EQ(words.detail, c.words.detail) << words.text.toStdString();
    }
}

}  // namespace
