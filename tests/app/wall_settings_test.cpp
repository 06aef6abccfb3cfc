// What the wall keeps in orvix.conf (layouts, the tour, reported camera
// counts) beside the main dialog's settings, how stored values are
// checked, and the tour's timing.
#include <gtest/gtest.h>

#include <QSettings>

#include "app/viewer_settings.h"
#include "app/wall_tour.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;
using namespace std::chrono_literals;

namespace {

WallLayout layout(const QString& name, WallArrangement arrangement, std::vector<WallTileChoice> tiles) {
    tiles.resize(static_cast<size_t>(wallTileCount(arrangement)));
    return WallLayout{name, arrangement, tiles};
}

TEST(WallSettingsTest, LayoutsAndTourSurviveARestartAndTheMainDialogsSave) {
    ConfigDirectory config;
    WallSettings saved;
    saved.layouts = {layout("Shop = front; back", WallArrangement::OnePlusSeven,
                            {{7, "Gate/Yard", 3}, {}, {9, "Hall", 0}, {9, "Hall", 15}}),
                     layout("Yard", WallArrangement::Four, {{9, "Hall", 1}})};
    saved.shown = saved.layouts[0];
    saved.tour = {"Yard"};
    saved.tourSeconds = 600;
    saved.cameras = {{7, 16}, {9, 4}};
    ASSERT_TRUE(saved.save());
    // The main dialog saves its own keys and leaves the wall's alone.
    ViewerSettings viewer = ViewerSettings::load();
    viewer.channel = 3;
    ASSERT_TRUE(viewer.save());

    const WallSettings loaded = WallSettings::load();
    EXPECT_EQ(loaded.layouts, saved.layouts);
    EXPECT_EQ(loaded.shown, saved.shown);
    EXPECT_EQ(loaded.tour, saved.tour);
    EXPECT_EQ(loaded.tourSeconds, 600);
    EXPECT_EQ(loaded.cameras, saved.cameras);
    EXPECT_EQ(ViewerSettings::load().channel, 3);
}

TEST(WallSettingsTest, StoredValuesAreCheckedBeforeUse) {
    ConfigDirectory config;
    {
        QSettings file(ViewerSettings::filePath(), QSettings::IniFormat);
        const auto set = [&](const QString& key, const QVariant& value) { file.setValue("wall/" + key, value); };
        set("layouts/size", 6);
        set("layouts/1/name", "  Good  ");
        set("layouts/1/arrangement", "1+5");
        set("layouts/1/tiles/size", 9);  // more than the arrangement's 6
        set("layouts/1/tiles/1/recorder", 7);
        set("layouts/1/tiles/1/name", "Gate");
        set("layouts/1/tiles/1/camera", 3);
        set("layouts/1/tiles/2/recorder", 0);  // no recorder
        set("layouts/1/tiles/2/camera", 1);
        set("layouts/1/tiles/3/recorder", 7);
        set("layouts/1/tiles/3/camera", 17);  // no such camera
        set("layouts/1/tiles/4/recorder", "seven");
        set("layouts/1/tiles/4/camera", 2);
        set("layouts/1/tiles/7/recorder", 7);  // beyond the arrangement
        set("layouts/1/tiles/7/camera", 1);
        set("layouts/2/name", "Two");
        set("layouts/2/arrangement", "2");  // no such arrangement
        set("layouts/3/name", "   ");
        set("layouts/3/arrangement", "4");
        set("layouts/4/name", "Good");  // a name taken
        set("layouts/4/arrangement", "9");
        set("layouts/5/name", QString(65, 'x'));
        set("layouts/5/arrangement", "4");
        set("shown/arrangement", "bogus");
        set("tour/size", 3);
        set("tour/1/layout", "Nowhere");
        set("tour/2/layout", "Good");
        set("tour/3/layout", "Good");
        set("tourSeconds", 4);
        set("cameras/7", 16);
        set("cameras/8", 40);
        set("cameras/0", 4);
        set("cameras/x", 4);
    }
    const WallSettings loaded = WallSettings::load();
    ASSERT_EQ(loaded.layouts.size(), 1u);
    EXPECT_EQ(loaded.layouts[0], layout("Good", WallArrangement::OnePlusFive, {{7, "Gate", 2}}));
    EXPECT_EQ(loaded.shown, WallLayout());
    EXPECT_EQ(loaded.tour, std::vector<QString>{"Good"});
    EXPECT_EQ(loaded.tourSeconds, 10);
    EXPECT_EQ(loaded.cameras, (std::map<uint32_t, int>{{7, 16}}));
}

TEST(WallTourTest, StepsInTurnWrapsAndHoldsAPageWhileTheUserIsThere) {
    const auto t0 = WallTour::Clock::now();
    WallTour tour;
    tour.start(3, 1, 10, t0);
    EXPECT_EQ(tour.page(), 1);
    EXPECT_EQ(tour.nextPage(), 2);
    EXPECT_FALSE(tour.step(t0 + 9s));
    EXPECT_TRUE(tour.step(t0 + 10s));
    EXPECT_EQ(tour.page(), 2);
    EXPECT_EQ(tour.nextPage(), 0);
    tour.interacted(t0 + 15s);  // the page stays a whole interval from here
    EXPECT_FALSE(tour.step(t0 + 24s));
    EXPECT_TRUE(tour.step(t0 + 25s));
    EXPECT_EQ(tour.page(), 0);
    tour.start(1, 0, 5, t0);
    EXPECT_FALSE(tour.step(t0 + 60s));  // one page never steps
    tour.start(2, 7, 5, t0);
    EXPECT_EQ(tour.page(), 1);
    tour.stop();
    EXPECT_FALSE(tour.running());
}

}  // namespace
