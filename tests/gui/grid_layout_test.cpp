// The grid's maths: views offered per camera count, tiles that cover the
// area without gaps or overlap, groups of cameras, and the scaler and feed
// that size each channel's pictures for its tile.
#include <gtest/gtest.h>

#include <set>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRegion>
#include <vector>

#include "gui/grid_feed.h"
#include "gui/grid_layout.h"
#include "gui/tile_overlay.h"
#include "media/picture_scaler.h"

using namespace orvix;

namespace {

TEST(GridLayout, OffersOnlyViewsUpToTheCameraCount) {
    EXPECT_EQ(offeredViews(0), (std::vector<int>{1}));
    EXPECT_EQ(offeredViews(1), (std::vector<int>{1}));
    EXPECT_EQ(offeredViews(3), (std::vector<int>{1}));
    EXPECT_EQ(offeredViews(4), (std::vector<int>{1, 4}));
    EXPECT_EQ(offeredViews(8), (std::vector<int>{1, 4}));
    EXPECT_EQ(offeredViews(9), (std::vector<int>{1, 4, 9}));
    EXPECT_EQ(offeredViews(16), (std::vector<int>{1, 4, 9, 16}));
    // A remembered view shrinks to what a smaller recorder is offered.
    EXPECT_EQ(fittingView(16, 8), 4);
    EXPECT_EQ(fittingView(9, 16), 9);
    EXPECT_EQ(fittingView(4, 2), 1);
    EXPECT_EQ(fittingView(7, 16), 4);
}

TEST(GridLayout, TilesCoverTheAreaExactlyWhateverItsSize) {
    for (int view : {4, 9, 16}) {
        for (const QRect& area : {QRect(0, 0, 640, 480), QRect(0, 0, 1281, 821), QRect(10, 20, 7, 5)}) {
            const std::vector<QRect> tiles = tileRects(area, view);
            ASSERT_EQ(static_cast<int>(tiles.size()), view);
            QRegion covered;
            int pixels = 0;
            for (const QRect& tile : tiles) {
                EXPECT_TRUE(area.contains(tile)) << view;
                EXPECT_FALSE(covered.intersects(tile)) << view;
                covered += tile;
                pixels += tile.width() * tile.height();
            }
            EXPECT_EQ(pixels, area.width() * area.height()) << view;
        }
    }
    const std::vector<QRect> four = tileRects(QRect(0, 0, 640, 480), 4);
    EXPECT_EQ(four[1], QRect(320, 0, 320, 240));  // row by row
    EXPECT_EQ(four[2], QRect(0, 240, 320, 240));
    EXPECT_TRUE(tileRects(QRect(), 4).empty());
    EXPECT_EQ(tileAt(QRect(0, 0, 640, 480), 4, QPoint(639, 479)), 3);
    EXPECT_EQ(tileAt(QRect(0, 0, 640, 480), 4, QPoint(640, 10)), -1);
    EXPECT_EQ(tileAt(QRect(0, 0, 640, 480), 9, QPoint(300, 200)), 4);
}

TEST(GridLayout, GroupsWalkTheCamerasInOrderAndStopAtTheEnds) {
    EXPECT_EQ(groupChannels(16, 4, 1).text(), "5,6,7,8");
    EXPECT_EQ(groupChannels(16, 9, 1).text(), "10,11,12,13,14,15,16");
    EXPECT_EQ(groupChannels(5, 4, 1).text(), "5");
    EXPECT_TRUE(groupChannels(4, 4, 1).empty());
    EXPECT_TRUE(groupChannels(16, 4, -1).empty());
    EXPECT_EQ(groupCount(16, 4), 4);
    EXPECT_EQ(groupCount(9, 4), 3);
    EXPECT_EQ(groupCount(4, 4), 1);
    EXPECT_EQ(groupCount(0, 4), 1);
    EXPECT_EQ(groupCount(40, 4), 4);  // never past channel 16
    EXPECT_EQ(clampGroup(-1, 16, 4), 0);
    EXPECT_EQ(clampGroup(7, 16, 4), 3);
    EXPECT_EQ(groupOf(5, 4), 1);
    EXPECT_EQ(groupOf(15, 9), 1);
}

// A picture of four coloured quadrants.
QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(220, 220, 30)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.setPixel(x, y, colours[(y * 2 / height) * 2 + x * 2 / width]);
    }
    return image;
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 12 && std::abs(qGreen(a) - qGreen(b)) < 12 &&
           std::abs(qBlue(a) - qBlue(b)) < 12;
}

TEST(PictureScaler, ScalesDownAndUpKeepingWhereEachColourIs) {
    const QImage source = quadrants(352, 288);
    PictureScaler scaler;
    for (const QSize size : {QSize(160, 120), QSize(701, 577), QSize(352, 288)}) {
        QImage target(size, QImage::Format_RGB32);
        ASSERT_TRUE(scaler.scale(source.constBits(), source.width(), source.height(),
                                 static_cast<int>(source.bytesPerLine()), target.bits(), target.width(),
                                 target.height(), static_cast<int>(target.bytesPerLine())));
        for (int q = 0; q < 4; ++q) {
            const QPoint inSource((q % 2) * 176 + 88, (q / 2) * 144 + 72);
            const QPoint inTarget((q % 2) * size.width() / 2 + size.width() / 4,
                                  (q / 2) * size.height() / 2 + size.height() / 4);
            EXPECT_TRUE(near(target.pixel(inTarget), source.pixel(inSource))) << size.width() << " quadrant " << q;
        }
    }
    // The same size is a copy, not a pass through swscale.
    EXPECT_EQ(scaler.scaled(), 2u);
}

TEST(PictureScaler, RefusesWhatWouldReadOrWritePastABuffer) {
    const QImage source = quadrants(64, 48);
    QImage target(32, 24, QImage::Format_RGB32);
    target.fill(Qt::white);
    PictureScaler scaler;
    const int rowBytes = static_cast<int>(source.bytesPerLine());
    EXPECT_FALSE(scaler.scale(nullptr, 64, 48, rowBytes, target.bits(), 32, 24, 128));
    EXPECT_FALSE(scaler.scale(source.constBits(), 64, 48, rowBytes, nullptr, 32, 24, 128));
    EXPECT_FALSE(scaler.scale(source.constBits(), 0, 48, rowBytes, target.bits(), 32, 24, 128));
    EXPECT_FALSE(scaler.scale(source.constBits(), 64, 48, 100, target.bits(), 32, 24, 128));  // rows too short
    EXPECT_FALSE(scaler.scale(source.constBits(), 64, 48, rowBytes, target.bits(), 32, 24, 64));
    EXPECT_FALSE(scaler.scale(source.constBits(), 64, 48, rowBytes, target.bits(), 32, -24, 128));
    EXPECT_EQ(target.pixel(5, 5), qRgb(255, 255, 255));
}

ChannelPicture pictureOf(const QImage& image, int64_t seconds) {
    ChannelPicture picture;
    picture.pixels = image.constBits();
    picture.width = image.width();
    picture.height = image.height();
    picture.rowBytes = static_cast<int>(image.bytesPerLine());
    picture.recorderSeconds = seconds;
    return picture;
}

TEST(GridFeed, ReusesBuffersButNeverOneAPaintStillHolds) {
    GridFeed feed;
    feed.setTileArea(3, QSize(176, 144));
    QImage red(176, 144, QImage::Format_RGB32);
    red.fill(qRgb(200, 30, 30));
    QImage blue(176, 144, QImage::Format_RGB32);
    blue.fill(qRgb(30, 30, 200));

    feed.picture(3, pictureOf(red, 1));
    const QImage held = feed.latest(3).image;  // as a paint in progress would
    const uchar* heldBits = held.constBits();
    // More pictures than there are buffers while one is held.
    for (int i = 0; i < 5; ++i) feed.picture(3, pictureOf(blue, 2 + i));
    EXPECT_EQ(held.pixel(88, 72), qRgb(200, 30, 30));
    EXPECT_EQ(feed.latest(3).image.pixel(88, 72), qRgb(30, 30, 200));
    EXPECT_NE(feed.latest(3).image.constBits(), heldBits);

    // Once nobody holds them, pictures go into the same few buffers.
    std::set<const uchar*> used;
    for (int i = 0; i < 12; ++i) {
        feed.picture(3, pictureOf(i % 2 == 0 ? red : blue, 10 + i));
        used.insert(feed.latest(3).image.constBits());
        EXPECT_EQ(feed.latest(3).image.pixel(10, 10), i % 2 == 0 ? qRgb(200, 30, 30) : qRgb(30, 30, 200));
    }
    EXPECT_LE(used.size(), 3u);
}

TEST(GridFeed, ScalesEachChannelOnceToItsTileInTheDisplayShape) {
    GridFeed feed;
    int notified = 0;
    QObject::connect(&feed, &GridFeed::picturesReady, [&] { ++notified; });
    feed.setTileArea(2, QSize(318, 238));
    feed.setTileArea(5, QSize(400, 100));
    const QImage cif = quadrants(352, 288);
    feed.picture(2, pictureOf(cif, 1000));
    feed.picture(5, pictureOf(cif, 1001));
    feed.picture(5, pictureOf(cif, 1002));
    feed.picture(7, pictureOf(cif, 1003));  // no tile: time and size only
    feed.picture(16, pictureOf(cif, 1004)); // no such channel
    // A CIF picture is seen at 4:3.
    EXPECT_EQ(feed.latest(2).image.size(), QSize(317, 238));
    EXPECT_EQ(feed.latest(5).image.size(), QSize(133, 100));
    EXPECT_EQ(feed.latest(5).serial, 2u);
    EXPECT_EQ(feed.latest(5).recorderSeconds, 1002);
    EXPECT_TRUE(feed.latest(7).image.isNull());
    EXPECT_EQ(feed.latest(7).source, QSize(352, 288));
    EXPECT_EQ(feed.latest(16).serial, 0u);
    EXPECT_TRUE(near(feed.latest(2).image.pixel(300, 230), qRgb(220, 220, 30)));
    // One notice for the whole batch.
    QCoreApplication::processEvents();
    EXPECT_EQ(notified, 1);
    // A picture right after a notice is told too, once the paint interval
    // has passed: no notice is lost while one waits.
    feed.picture(2, pictureOf(cif, 1005));
    QElapsedTimer waited;
    waited.start();
    while (notified < 2 && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(feed.latest(2).recorderSeconds, 1005);
    feed.dropped(5, 9);
    EXPECT_EQ(feed.dropped(5), 9u);
    feed.clearPictures();
    EXPECT_EQ(feed.latest(5).serial, 0u);
    EXPECT_EQ(feed.dropped(5), 0u);
}

TEST(TileOverlay, LaysOutOnlyWhenATextOrTheSizeChanges) {
    QImage target(320, 240, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    TileOverlay overlay;
    TileTexts texts{QStringLiteral("Gate CH 05"), QStringLiteral("2026/12/08 10:00:00"), QString(), false, false};
    for (int i = 0; i < 25; ++i) overlay.paint(painter, target.rect(), texts);
    EXPECT_EQ(overlay.layouts(), 1);
    texts.time = QStringLiteral("2026/12/08 10:00:01");
    overlay.paint(painter, target.rect(), texts);
    overlay.paint(painter, QRect(0, 0, 160, 120), texts);
    EXPECT_EQ(overlay.layouts(), 3);
    painter.end();
    // Something was drawn near the top left, nothing far below the rows.
    bool drawn = false;
    for (int x = 0; x < 100 && !drawn; ++x) drawn = target.pixel(x, 10) != qRgb(0, 0, 0);
    EXPECT_TRUE(drawn);
    EXPECT_EQ(target.pixel(200, 200), qRgb(0, 0, 0));
}

}  // namespace
