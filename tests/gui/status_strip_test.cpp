#include "gui/status_strip.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "tests/gui/video_window_fixture.h"
#include "tests/gui/window_support.h"

namespace orvix::test {
namespace {

// The strip is painted again over every picture; its texts are laid out
// only when they or its size change, and still show what they say.
TEST(StatusStrip, LaysItsLinesOutOnlyWhenTheyOrItsSizeChange) {
    QWidget window;
    window.resize(400, 300);
    StatusStrip::Lines lines{9, QStringLiteral("Data Send OK [25fps][200byte]"), QString()};
    StatusStrip strip(&window, [&] { return lines; });
    strip.showOverPicture();
    const QImage first = strip.grab().toImage();
    strip.grab();
    strip.grab();
    EXPECT_EQ(strip.layouts(), 1);

    lines.infoText = QStringLiteral("Search start ...");
    const QImage second = strip.grab().toImage();
    EXPECT_EQ(strip.layouts(), 2);
    const QRect infoRow(0, 20, 300, 18);
    EXPECT_EQ(countColour(first, infoRow, kInfoYellow), 0);
    EXPECT_GT(countColour(second, infoRow, kInfoYellow), 20);

    lines.statusText = QStringLiteral("Data Send OK [24fps][190byte]");
    strip.grab();
    EXPECT_EQ(strip.layouts(), 3);

    window.resize(240, 180);
    strip.showOverPicture();
    const QImage narrow = strip.grab().toImage();
    EXPECT_EQ(strip.layouts(), 4);
    EXPECT_EQ(narrow.width(), 240);
    EXPECT_GT(countColour(narrow, infoRow, kInfoYellow), 20);
}

}  // namespace
}  // namespace orvix::test
