// What the program remembers between starts: written when the dialog
// closes, read when it opens, in its own file beside the device list.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTabWidget>

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
    click(kIFrameOnly);  // off
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
    EXPECT_FALSE(iframeOnly());
    EXPECT_EQ(dialog->videoWindow()->iframeOnly(), 0);
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
    EXPECT_TRUE(iframeOnly());
    EXPECT_EQ(dialog->tabControl()->currentIndex(), kPageDevice);
    EXPECT_EQ(dialog->size(), QSize(C_Main_Dlg::kClientWidth, C_Main_Dlg::kClientHeight));
}

TEST_F(ViewerSettingsTest, APlaceOffEveryScreenIsNotTaken) {
    ViewerSettings settings;
    settings.position = QPoint(-30000, -30000);
    ASSERT_TRUE(settings.save());
    open();
    EXPECT_NE(dialog->pos(), QPoint(-30000, -30000));
}

}  // namespace
