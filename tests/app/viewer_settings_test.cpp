// What the program remembers between starts: written when the dialog
// closes, read when it opens, in its own file beside the device list.
#include <gtest/gtest.h>

#include <climits>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>

#include "app/dialog_geometry.h"
#include "app/main_dialog_ids.h"
#include "app/viewer_settings.h"
#include "gui/c_draw_static.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class ViewerSettingsTest : public MainDialogTest {
protected:
    QString settingsFile() const { return QString::fromStdString(config.path()) + "/orvix/orvix.conf"; }
    bool iframeOnly() const { return qobject_cast<QCheckBox*>(control(kIFrameOnly))->isChecked(); }
};

TEST_F(ViewerSettingsTest, ChoicesSurviveARestart) {
    store({{7, u"Gate"}, {8, u"Yard"}, {9, u"Dock"}});
    open();
    dialog->show();
    chooseEntry(combo(kDeviceCombo), 1);
    chooseEntry(combo(kChannelCombo), 5);
    click(kIFrameOnly);  // on: the stored choice wins over the first start's off
    dialog->tabControl()->setCurrentIndex(kPagePanTilt);
    dialog->move(37, 45);
    const QPoint placed = dialog->pos();
    dialog->close();
    ASSERT_TRUE(QFileInfo::exists(settingsFile()));
    EXPECT_EQ(ViewerSettings::filePath(), settingsFile());

    open();
    EXPECT_EQ(combo(kDeviceCombo)->currentText(), "Yard");
    EXPECT_EQ(dialog->workingRecord().id, 8u);
    EXPECT_EQ(dialog->workingRecord().name.view(), u"Yard");
    EXPECT_EQ(combo(kChannelCombo)->currentText(), "06 CH");
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 5);
    EXPECT_TRUE(iframeOnly());
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 1);
    EXPECT_EQ(dialog->tabControl()->currentIndex(), kPagePanTilt);
    EXPECT_FALSE(control(kTiltUp)->isHidden());
    EXPECT_TRUE(control(kDeviceCombo)->isHidden());
    EXPECT_EQ(dialog->pos(), placed);
    // The device list is the store's alone: the settings file holds no recorder.
    EXPECT_EQ(stored().size(), 3u);
    QFile file(settingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("Yard"));
}

TEST_F(ViewerSettingsTest, AFileOfNonsenseOrAGoneRecorderFallsBackToTheDefaults) {
    store({{7, u"Gate"}, {8, u"Yard"}});
    {
        QSettings file(settingsFile(), QSettings::IniFormat);
        file.setValue("recorder/id", 99);  // deleted since
        file.setValue("recorder/channel", 44);
        file.setValue("window/page", "third");
        file.setValue("window/position", "here");
        file.setValue("window/size", "-5");
    }
    open();
    EXPECT_EQ(combo(kDeviceCombo)->currentIndex(), 0);
    EXPECT_EQ(dialog->workingRecord().id, 7u);
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 0);
    EXPECT_FALSE(iframeOnly());
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 0);
    EXPECT_EQ(dialog->tabControl()->currentIndex(), kPageDevice);
    EXPECT_EQ(dialog->size(), QSize(C_Main_Dlg::kClientWidth, C_Main_Dlg::kClientHeight));
}

TEST(WindowPlace, StoredPlaceAndSizeAreFittedToTheScreens) {
    const QList<QRect> screens{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    const QSize smallest(640, 660);
    struct Case {
        std::optional<QPoint> position;
        std::optional<QSize> size;
        std::optional<QPoint> placed;
        std::optional<QSize> sized;
    };
    const Case cases[] = {
        {QPoint(37, 45), QSize(800, 700), QPoint(37, 45), QSize(800, 700)},
        {QPoint(1500, 20), QSize(20000, 20000), QPoint(1500, 20), QSize(1920, 1080)},
        {std::nullopt, QSize(16777215, 16777215), std::nullopt, QSize(1920, 1080)},
        {std::nullopt, QSize(100, 2000), std::nullopt, QSize(640, 1080)},
        {QPoint(INT_MIN, INT_MAX), std::nullopt, std::nullopt, std::nullopt},
        {QPoint(INT_MAX, INT_MAX), std::nullopt, std::nullopt, std::nullopt},
        {QPoint(-30000, -30000), std::nullopt, std::nullopt, std::nullopt},
        {QPoint(3200, 0), std::nullopt, std::nullopt, std::nullopt},  // its title bar is past the right edge
    };
    for (const Case& c : cases) {
        const WindowPlace place = fitToScreens(c.position, c.size, screens, smallest);
        EXPECT_EQ(place.position, c.placed) << (c.position ? c.position->x() : 0);
        EXPECT_EQ(place.size, c.sized) << (c.size ? c.size->width() : 0);
    }
}

TEST_F(ViewerSettingsTest, AHugeSizeAndAPlaceAtTheEndsOfTheNumbersOpenOnTheScreen) {
    {
        QSettings file(settingsFile(), QSettings::IniFormat);
        file.setValue("window/size", QSize(16777215, 16777215));
        file.setValue("window/position", QPoint(-2147483647 - 1, 2147483647));
    }
    open();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(dialog->width(), std::max(screen.width(), dialog->minimumWidth()));
    EXPECT_LE(dialog->height(), std::max(screen.height(), dialog->minimumHeight()));
    EXPECT_NE(dialog->pos(), QPoint(-2147483647 - 1, 2147483647));
}

TEST_F(ViewerSettingsTest, APlaceOffEveryScreenIsNotTaken) {
    ViewerSettings settings;
    settings.position = QPoint(-30000, -30000);
    ASSERT_TRUE(settings.save());
    open();
    EXPECT_NE(dialog->pos(), QPoint(-30000, -30000));
}

}  // namespace

namespace {

TEST_F(ViewerSettingsTest, ViewsAndRecordersConnectedWithoutAskingAreReadAsWrittenOrLeftOut) {
    {
        QSettings file(QString::fromStdString(config.path()) + "/orvix/orvix.conf", QSettings::IniFormat);
        file.setValue("views/1", "9/1/12");
        file.setValue("views/2", "4/2");      // written before the tile was kept
        file.setValue("views/3", "4/0/44");   // no such channel
        file.setValue("views/4", "5/0/1");    // no such view
        file.setValue("connect/withoutAsking", "7, x,0,9");
    }
    const ViewerSettings loaded = ViewerSettings::load();
    EXPECT_EQ(loaded.views, (std::map<uint32_t, GridChoice>{{1, {9, 1, 12}}, {2, {4, 2, -1}}, {3, {4, 0, -1}}}));
    EXPECT_EQ(loaded.connectWithoutAsking, (std::set<uint32_t>{7, 9}));
    ASSERT_TRUE(loaded.save());
    const ViewerSettings again = ViewerSettings::load();
    EXPECT_EQ(again.views, loaded.views);
    EXPECT_EQ(again.connectWithoutAsking, loaded.connectWithoutAsking);
}

TEST_F(ViewerSettingsTest, ARecordersSelectedTileComesBackWithItsView) {
    store({{7, u"Gate"}, {8, u"Yard"}});
    ViewerSettings settings;
    settings.recorderId = 8;
    settings.views[7] = GridChoice{4, 0, 2};
    ASSERT_TRUE(settings.save());
    open();
    chooseEntry(combo(kDeviceCombo), 0);
    EXPECT_EQ(dialog->shownView(), 4);
    EXPECT_EQ(dialog->workingRecord().currentChannel.load(), 2);
    EXPECT_EQ(dialog->videoWindow()->selectedTileChannel(), 2);
}

}  // namespace
