#include "media/overlay_text.h"

#include <gtest/gtest.h>

#include <string>

namespace orvix {
namespace {

struct OverlayCase {
    DisplayFrame frame;
    std::u16string name = u"Front door";

    OverlayCase(int width, int height, int mode = 0, int channel = 0) {
        frame.width = width;
        frame.height = height;
        frame.mode = mode;
        frame.channel = channel;
        frame.name = name.c_str();
        const std::u16string date = u"2009:03:07 13:05:09";
        date.copy(frame.dateText, date.size());
    }
    OverlayRows build(RendererKind renderer = RendererKind::Software, OverlayStats stats = {}) {
        frame.name = name.c_str();
        return buildOverlay(frame, renderer, stats);
    }
};

TEST(OverlayLayoutChoice, ByPictureSizeInOrder) {
    EXPECT_EQ(chooseOverlayLayout(352, 288), OverlayLayout::Cif);
    EXPECT_EQ(chooseOverlayLayout(360, 576), OverlayLayout::Cif);  // width decides first
    EXPECT_EQ(chooseOverlayLayout(704, 240), OverlayLayout::SmallPicture);
    EXPECT_EQ(chooseOverlayLayout(704, 300), OverlayLayout::SmallPicture);
    EXPECT_EQ(chooseOverlayLayout(704, 301), OverlayLayout::LargePicture);
    EXPECT_EQ(chooseOverlayLayout(704, 576), OverlayLayout::LargePicture);
    EXPECT_EQ(chooseOverlayLayout(0, 0), OverlayLayout::SmallPicture);
}

TEST(Overlay, CifPictureUsesTheSmallFontAndTightRows) {
    OverlayCase c(352, 288, 0, 2);
    const OverlayRows rows = c.build();
    EXPECT_EQ(rows.font.height, 20);
    EXPECT_EQ(rows.font.width, 13);
    EXPECT_EQ(rows.font.weight, 700);
    EXPECT_EQ(rows.rows[0].y, 3);
    EXPECT_EQ(rows.rows[1].y, 20);
    EXPECT_EQ(rows.rows[2].y, 37);
    for (const OverlayRow& row : rows.rows) EXPECT_EQ(row.x, 3);
    EXPECT_EQ(rows.rows[0].view(), u"LIVE Front door CH 3");
    EXPECT_EQ(rows.rows[0].colour, kLiveColour);
    EXPECT_EQ(rows.rows[1].view(), u"2009:03:07 13:05:09");
    EXPECT_EQ(rows.rows[1].colour, kOverlayYellow);
    EXPECT_EQ(rows.rows[2].view(), u"0 FPS");
    EXPECT_EQ(rows.rows[2].colour, kOverlayYellow);

    // The CIF layout keeps the plain row 1 even when drawn accelerated.
    EXPECT_EQ(c.build(RendererKind::Accelerated).rows[0].view(), u"LIVE Front door CH 3");
}

TEST(Overlay, SmallAndLargePicturesAndTheAcceleratedTexts) {
    OverlayCase small(704, 240, 1, 0);
    const OverlayRows soft = small.build(RendererKind::Software);
    EXPECT_EQ(soft.font.width, 26);
    EXPECT_EQ(soft.font.height, 20);
    EXPECT_EQ(soft.rows[2].y, 38);
    EXPECT_EQ(soft.rows[0].view(), u"SEARCH Front door CH 1");
    EXPECT_EQ(soft.rows[0].colour, kSearchColour);
    const OverlayRows fast = small.build(RendererKind::Accelerated);
    EXPECT_EQ(fast.rows[2].y, 37);
    EXPECT_EQ(fast.rows[0].view(), u"SEARCH D Front door CH 1");

    OverlayCase large(704, 576, 0, 15);
    const OverlayRows big = large.build(RendererKind::Accelerated);
    EXPECT_EQ(big.font.height, 40);
    EXPECT_EQ(big.font.width, 26);
    EXPECT_EQ(big.rows[0].y, 3);
    EXPECT_EQ(big.rows[1].y, 38);
    EXPECT_EQ(big.rows[2].y, 73);
    EXPECT_EQ(big.rows[0].view(), u"LIVE D Front door CH 16");
}

TEST(Overlay, StatisticsRowNamesTheRenderer) {
    OverlayCase c(704, 576);
    OverlayStats stats{1, 25, 512};
    EXPECT_EQ(c.build(RendererKind::Software, stats).rows[2].view(), u"25 F 512 KB GDI");
    EXPECT_EQ(c.build(RendererKind::Accelerated, stats).rows[2].view(), u"25 F 512 KB DDRAW");
    stats.statistics = 0;
    EXPECT_EQ(c.build(RendererKind::Accelerated, stats).rows[2].view(), u"25 FPS");
    // The widest rates still fit the line.
    stats = OverlayStats{1, 4294967295u, 4294967295u};
    EXPECT_EQ(c.build(RendererKind::Accelerated, stats).rows[2].view(), u"4294967295 F 4294967295 KB DDRAW");
}

TEST(Overlay, ModesOtherThanLiveAndSearchDrawOnlyRowsTwoAndThree) {
    for (int mode : {2, 3, -1}) {
        OverlayCase c(704, 576, mode);
        const OverlayRows rows = c.build();
        EXPECT_FALSE(rows.rows[0].shown) << mode;
        EXPECT_TRUE(rows.rows[1].shown);
        EXPECT_TRUE(rows.rows[2].shown);
    }
}

TEST(Overlay, LongNameIsCutSoTheChannelStillFits) {
    OverlayCase c(704, 576, 1, 9);
    c.name = u"A recorder with a very long name indeed, far too long";
    const OverlayRows rows = c.build(RendererKind::Accelerated);
    const std::u16string_view row = rows.rows[0].view();
    EXPECT_EQ(row.size(), 32u);
    EXPECT_EQ(row, u"SEARCH D A recorder with a CH 10");
    EXPECT_EQ(rows.rows[0].text[32], 0);

    // A surrogate pair is never split at the cut.
    c.name = std::u16string(16, u'x') + u"\U0001F600" + u"tail";
    const OverlayRows cutRows = c.build(RendererKind::Accelerated);
    EXPECT_EQ(cutRows.rows[0].view(), u"SEARCH D " + std::u16string(16, u'x') + u" CH 10");

    // No name at all.
    c.frame.name.clear();
    EXPECT_EQ(buildOverlay(c.frame, RendererKind::Software, {}).rows[0].view(), u"SEARCH  CH 10");
}

}  // namespace
}  // namespace orvix
