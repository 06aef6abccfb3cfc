// The main dialog as it opens: geometry, pages, combos, keys and the
// helpers behind them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QAbstractSpinBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "app/channel_entries.h"
#include "app/dialog_geometry.h"
#include "app/language_id.h"
#include "app/main_dialog_ids.h"
#include "app/page_layout.h"
#include "gui/c_draw_static.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

TEST(DialogGeometry, PortraitVideoTakesTheWidthAtFourToThree) {
    const DialogGeometry g = dialogGeometry(QRect(0, 0, 240, 268));
    EXPECT_EQ(g.video, QRect(0, 0, 240, 180));
    EXPECT_EQ(g.tabs, QRect(0, 180, 240, 268));
}

TEST(DialogGeometry, LandscapeVideoIsFortyPixelsShortOfTheHeight) {
    const DialogGeometry g = dialogGeometry(QRect(0, 0, 320, 188));
    EXPECT_EQ(g.video, QRect(0, 0, 197, 148));
    EXPECT_EQ(g.tabs, QRect(0, 148, 197, 188));
    // A square counts as landscape; an offset client keeps its origin.
    EXPECT_EQ(dialogGeometry(QRect(10, 20, 100, 100)).video, QRect(10, 20, 80, 60));
}

// Sizes of a pretend font: buttons 20 high, combos 22.
QSize sizeOf(int id) {
    switch (id) {
    case kDeviceCombo:
    case kChannelCombo:
    case kAlarmDuration:
    case kAlarmOutput:
        return QSize(60, 22);
    case kDeviceLabel:
    case kChannelLabel:
        return QSize(40, 16);
    default:
        return QSize(50, 20);
    }
}

std::map<int, QRect> place(int page) {
    std::map<int, QRect> rects;
    for (const Placement& p : placePage(page, PageFrame{0, 240, 200}, sizeOf)) rects[p.id] = p.rect;
    return rects;
}

TEST(PageLayout, RowsStartThreePixelsInAndLeaveOnePixelBetweenControls) {
    const auto search = place(kPageSearch);
    EXPECT_EQ(search.at(kRecInfoReq), QRect(3, 199, 50, 20));
    EXPECT_EQ(search.at(kSearchStart).topLeft(), QPoint(54, 199));
    EXPECT_EQ(search.at(kSearchLive).topLeft(), QPoint(105, 199));
    EXPECT_EQ(search.at(kSearchDate).topLeft(), QPoint(3, 221));
    EXPECT_EQ(search.at(kSearchTime).topLeft(), QPoint(54, 221));
}

TEST(PageLayout, TheDeviceComboReachesTwoPixelsShortOfTheRightEdge) {
    const auto device = place(kPageDevice);
    EXPECT_EQ(device.at(kDeviceLabel), QRect(3, 199, 40, 16));
    EXPECT_EQ(device.at(kDeviceCombo), QRect(44, 198, 240 - 2 - 44, 22));
    EXPECT_EQ(device.at(kAddDevice).topLeft(), QPoint(3, 223));
    EXPECT_EQ(device.at(kDeleteDevice).topLeft(), QPoint(54, 223));
    EXPECT_EQ(device.at(kWall).topLeft(), QPoint(105, 223));
}

TEST(PageLayout, TheChannelLabelSitsOnePixelLowerThanItsCombo) {
    const auto connect = place(kPageConnect);
    EXPECT_EQ(connect.at(kChannelLabel).topLeft(), QPoint(3, 222));
    EXPECT_EQ(connect.at(kChannelCombo).topLeft(), QPoint(44, 221));
    EXPECT_EQ(connect.at(kIFrameOnly).topLeft(), QPoint(105, 221));
}

TEST(PageLayout, TheViewAndGroupButtonsFitBesideTheConnectPagesControls) {
    const auto connect = place(kPageConnect);
    for (int added : {kViewLabel, kViewCombo, kGroupPrevious, kGroupNext}) {
        const QRect rect = connect.at(added);
        EXPECT_GT(rect.x(), connect.at(kIFrameOnly).right()) << added;
        for (const auto& [id, other] : connect) {
            if (id != added) {
                EXPECT_FALSE(rect.intersects(other)) << added << " over " << id;
            }
        }
    }
    EXPECT_EQ(connect.at(kViewCombo).y(), connect.at(kChannelCombo).y());
    EXPECT_EQ(connect.at(kGroupNext).x(), connect.at(kGroupPrevious).right() + 2);
}

TEST(PageLayout, PanTiltButtonsFormACross) {
    const auto cross = place(kPagePanTilt);
    const QRect left = cross.at(kPanLeft), up = cross.at(kTiltUp), down = cross.at(kTiltDown),
                right = cross.at(kPanRight), stop = cross.at(kPanTiltStop), mode = cross.at(kDirectionMode);
    EXPECT_EQ(up.topLeft(), QPoint(left.right() + 2, 199));
    EXPECT_EQ(down.topLeft(), QPoint(up.x(), 200 + up.height()));
    EXPECT_EQ(left.topLeft(), QPoint(3, 199 + up.height() / 2));
    EXPECT_EQ(right.topLeft(), QPoint(down.right() + 2, left.y()));
    EXPECT_EQ(stop.topLeft(), QPoint(right.right() + 3, 199));
    EXPECT_EQ(mode.topLeft(), QPoint(stop.x(), 200 + stop.height()));
}

TEST(PageLayout, EveryPageShowsItsOwnControlsAndNoPageHasAnIndexOutsideSeven) {
    EXPECT_EQ(place(kPageZoomFocus).at(kFocusIn).y(), 200 + 20);
    EXPECT_EQ(place(kPageAlarm).at(kAlarmOn).y(), 200 + 22);
    EXPECT_EQ(place(kPagePreset).size(), 3u);
    EXPECT_TRUE(placePage(7, PageFrame{}, sizeOf).empty());
    EXPECT_TRUE(placePage(-1, PageFrame{}, sizeOf).empty());
    EXPECT_TRUE(pageControls(7).empty());
    // The template's, the range text, the reconnect box, Snapshot, Record,
    // the view with its two group buttons and the Wall button.
    EXPECT_EQ(allPageControls().size(), 42u);
    EXPECT_GT(place(kPageConnect).at(kAutoReconnect).y(), place(kPageConnect).at(kChannelCombo).bottom());
    EXPECT_EQ(place(kPageSearch).at(kSearchRange).y(), place(kPageSearch).at(kSearchTime).bottom() + 2);
}

TEST(ChannelEntries, FollowTheRecorderModel) {
    EXPECT_EQ(channelEntriesForModel(10), 8);
    EXPECT_EQ(channelEntriesForModel(5), 0);
    EXPECT_EQ(channelEntriesForModel(0), 4);
    EXPECT_EQ(channelEntriesForModel(1), 9);
    EXPECT_EQ(channelEntriesForModel(50), 16);
    EXPECT_EQ(channelEntriesForModel(52), 4);
    EXPECT_EQ(channelEntriesForModel(22), 0);
    EXPECT_EQ(channelEntriesForModel(53), 0);
    EXPECT_EQ(channelEntriesForModel(-1), 0);

    // Fewer cameras described than the model has: the cameras.
    EXPECT_EQ(channelEntriesForRecorder(2, 8), 8);
    EXPECT_EQ(channelEntriesForRecorder(2, 1), 1);
    EXPECT_EQ(channelEntriesForRecorder(2, 0), 16);
    EXPECT_EQ(channelEntriesForRecorder(2, 16), 16);
    EXPECT_EQ(channelEntriesForRecorder(0, 9), 4);
    EXPECT_EQ(channelEntriesForRecorder(0, 0xFFFF), 4);  // a negative count as sent
    EXPECT_EQ(channelEntriesForRecorder(5, 3), 0);
}

TEST(ChannelEntries, AlarmOutputsAsTheRecorderReportedThemAtLogin) {
    DeviceRecord record;
    initRecord(record);
    record.val[2] = 6;
    const struct {
        uint32_t modelCode;
        uint16_t version;
        int outputs;
    } cases[] = {
        {13, 24, 6},    // every value kept
        {51, 4, 6},
        {11, 8, 128},   // only the first value kept: the third is not this recorder's
        {21, 8, 128},
        {99, 24, 128},  // values left as they were
    };
    for (const auto& c : cases) {
        record.modelCode = c.modelCode;
        record.protocolVersion = c.version;
        EXPECT_EQ(alarmOutputEntries(record), c.outputs) << c.modelCode << " v" << c.version;
    }
    record.modelCode = 13;
    record.protocolVersion = 24;
    for (uint32_t unusable : {0u, 129u, 0xFFFFFFFFu}) {
        record.val[2] = unusable;
        EXPECT_EQ(alarmOutputEntries(record), 128) << unusable;
    }
}

TEST(LanguageId, FromTheLocaleName) {
    EXPECT_EQ(languageIdForLocale("en_US.UTF-8"), 0x0409);
    EXPECT_EQ(languageIdForLocale("fr_FR.UTF-8"), 0x040C);
    EXPECT_EQ(languageIdForLocale("fr_CA"), 0x0C0C);
    EXPECT_EQ(languageIdForLocale("ja_JP.eucJP"), 0x0411);
    EXPECT_EQ(languageIdForLocale("ko_KR.UTF-8@latin"), 0x0412);
    EXPECT_EQ(languageIdForLocale("de_DE"), 0x0407);
    EXPECT_EQ(languageIdForLocale("C.UTF-8"), 0x0409);
    EXPECT_EQ(languageIdForLocale(""), 0x0409);
    EXPECT_EQ(languageIdForLocale("xx_YY"), 0x0400);
}

class OpenedDialogTest : public MainDialogTest {};

TEST_F(OpenedDialogTest, AnEmptyStoreLeavesOnlyAddEnabled) {
    open();
    EXPECT_EQ(dialog->windowTitle(), "ORVIX V2.9");
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_EQ(dialog->noticeBox(), nullptr) << dialog->binding().problem;
    EXPECT_EQ(combo(kDeviceCombo)->count(), 0);
    for (const auto& [id, on] : controlStates()) EXPECT_EQ(on, id == kAddDevice) << id;
    EXPECT_EQ(dialog->workingRecord().owner, static_cast<MessageTarget*>(dialog.get()));
    EXPECT_EQ(dialog->videoWindow()->owner(), static_cast<MessageTarget*>(dialog.get()));
    EXPECT_EQ(dialog->videoWindow()->languageId(), defaultLanguageId());
}

TEST_F(OpenedDialogTest, ControlsCarryTheirLabelsAndCombosTheirValues) {
    store({{7, u"Gate"}, {9, u"Yard"}});
    open();
    EXPECT_EQ(entries(kDeviceCombo), QStringList({"Gate", "Yard"}));
    EXPECT_EQ(itemData(kDeviceCombo), std::vector<int>({7, 9}));
    EXPECT_EQ(combo(kDeviceCombo)->currentIndex(), 0);
    EXPECT_EQ(dialog->workingRecord().name.view(), u"Gate");
    for (const auto& [id, on] : controlStates()) {
        const bool idle = id == kDeviceCombo || id == kAddDevice || id == kDeleteDevice || id == kInfoSetup ||
                          id == kConnect || id == kChannelCombo || id == kIFrameOnly;
        EXPECT_EQ(on, idle) << id;
    }

    EXPECT_EQ(combo(kChannelCombo)->count(), 16);
    EXPECT_EQ(combo(kChannelCombo)->itemText(0), "01 CH");
    EXPECT_EQ(combo(kChannelCombo)->itemText(15), "16 CH");
    EXPECT_EQ(itemData(kChannelCombo).back(), 15);
    EXPECT_EQ(combo(kChannelCombo)->currentIndex(), 0);
    EXPECT_EQ(entries(kPresetNumber).front(), "P 1");
    EXPECT_EQ(entries(kPresetNumber).back(), "P 16");
    EXPECT_EQ(itemData(kPresetNumber).back(), 15);
    EXPECT_EQ(entries(kPresetAction), QStringList({"Move", "Set"}));
    EXPECT_EQ(combo(kAlarmOutput)->count(), 129);
    EXPECT_EQ(combo(kAlarmOutput)->itemText(0), "ALL");
    EXPECT_EQ(combo(kAlarmOutput)->itemText(128), "128");
    EXPECT_EQ(itemData(kAlarmOutput)[128], 128);
    EXPECT_EQ(entries(kAlarmDuration), QStringList({"INFINITE", "5 sec", "10 sec", "20 sec", "1 min", "2 min",
                                                    "4 min", "10 min", "30 min", "1 hour", "2 hour"}));
    EXPECT_EQ(itemData(kAlarmDuration),
              std::vector<int>({0, 5, 10, 20, 60, 120, 240, 600, 1800, 3600, 7200}));
    for (int id : {kPresetNumber, kPresetAction, kAlarmOutput, kAlarmDuration}) EXPECT_EQ(combo(id)->currentIndex(), 0);
    EXPECT_FALSE(qobject_cast<QCheckBox*>(control(kIFrameOnly))->isChecked());
    EXPECT_EQ(qobject_cast<QPushButton*>(control(kConnect))->text(), "Connect");
    EXPECT_EQ(qobject_cast<QPushButton*>(control(kDirectionMode))->text(), "Normal");
    EXPECT_EQ(qobject_cast<QPushButton*>(control(kRecInfoReq))->text(), "Rec Info Req");
    for (int id : allPageControls()) EXPECT_EQ(control(id)->property("controlId").toInt(), id);
    // The template's pickers show their text at the right.
    for (int id : {kSearchDate, kSearchTime}) {
        EXPECT_TRUE(qobject_cast<QAbstractSpinBox*>(control(id))->alignment() & Qt::AlignRight) << id;
    }
    EXPECT_EQ(dialog->windowTitle(), "ORVIX V2.9");
}

TEST_F(OpenedDialogTest, TheVideoTakesTheTopAndTheTabsTheRest) {
    open();
    EXPECT_EQ(dialog->clientRectangle(), QRect(0, 0, C_Main_Dlg::kClientWidth, C_Main_Dlg::kClientHeight));
    EXPECT_EQ(control(kVideoWindow)->geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(control(kTabControl)->geometry(), QRect(0, 480, 640, 180));
    EXPECT_EQ(dialog->minimumSize(), QSize(C_Main_Dlg::kClientWidth, C_Main_Dlg::kClientHeight));
    QTabWidget* tabs = dialog->tabControl();
    ASSERT_EQ(tabs->count(), 7);
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
    EXPECT_EQ(texts, QStringList({"Device", "Connect", "Search", "PanTilt", "Zoom/Focus", "Preset", "Alarm"}));
}

TEST_F(OpenedDialogTest, ChoosingATabShowsThatPageOnly) {
    store({{7, u"Gate"}});
    open();
    dialog->show();
    auto shown = [&] {
        std::vector<int> ids;
        for (int id : allPageControls())
            if (control(id)->isVisible()) ids.push_back(id);
        return ids;
    };
    EXPECT_EQ(shown(), pageControls(kPageDevice));
    const QRect video = control(kVideoWindow)->geometry();
    const QRect deviceCombo = control(kDeviceCombo)->geometry();
    EXPECT_EQ(deviceCombo.x() + deviceCombo.width(), video.x() + video.width() - 2);
    // Below the tab headers, inside the tab control.
    EXPECT_GT(control(kDeviceLabel)->y(), dialog->tabControl()->y() + dialog->tabControl()->tabBar()->height() - 1);

    for (int page = 0; page < kPageCount; ++page) {
        dialog->tabControl()->setCurrentIndex(page);
        EXPECT_EQ(shown(), pageControls(page)) << page;
    }
    dialog->tabControl()->setCurrentIndex(kPagePanTilt);
    const QRect up = control(kTiltUp)->geometry(), down = control(kTiltDown)->geometry();
    const QRect left = control(kPanLeft)->geometry(), right = control(kPanRight)->geometry();
    EXPECT_EQ(up.x(), down.x());
    EXPECT_LT(up.bottom(), down.top());
    EXPECT_LT(left.right(), up.left());
    EXPECT_GT(right.left(), down.right());
    EXPECT_EQ(left.y(), right.y());
    EXPECT_GT(left.y(), up.y());
    EXPECT_LT(left.y(), down.y());
    EXPECT_TRUE(control(kVideoWindow)->isVisible());
}

TEST_F(OpenedDialogTest, TabFlipsTheStatisticsOnTheVideoOnly) {
    store({{7, u"Gate"}});
    open();
    dialog->show();
    QWidget* focused = control(kAddDevice);
    focused->setFocus();
    ASSERT_TRUE(processUntil([&] { return focused->hasFocus(); }));
    const int before = dialog->videoWindow()->statistics();
    // On a control Tab moves the focus on, as everywhere else.
    QTest::keyClick(focused, Qt::Key_Tab);
    EXPECT_FALSE(focused->hasFocus());
    EXPECT_EQ(dialog->videoWindow()->statistics(), before);
    dialog->videoWindow()->setFocus();
    ASSERT_TRUE(processUntil([&] { return dialog->videoWindow()->hasFocus(); }));
    QTest::keyClick(dialog->videoWindow(), Qt::Key_Tab);
    EXPECT_NE(dialog->videoWindow()->statistics(), before);
    QTest::keyClick(dialog->videoWindow(), Qt::Key_Backtab);
    EXPECT_TRUE(dialog->videoWindow()->hasFocus());
    EXPECT_EQ(dialog->videoWindow()->statistics(), before);

    // Space gives the video window the focus, and presses nothing.
    QTest::keyClick(control(kDeleteDevice), Qt::Key_Space);
    EXPECT_TRUE(dialog->videoWindow()->hasFocus());
    EXPECT_EQ(combo(kDeviceCombo)->count(), 1);
}

TEST_F(OpenedDialogTest, MessagesOfTheDialogAnswerOneOthersZero) {
    open();
    EXPECT_EQ(dialog->sendMessage(VWM_DEVICE_SAVED, 0, 0), 1);
    EXPECT_EQ(dialog->sendMessage(VWM_CONNECT, 0, 0), 0);
    EXPECT_EQ(dialog->sendMessage(1039, 0, 0), 0);
}

TEST_F(OpenedDialogTest, MissingLibrariesAreToldAndAddChangesNothing) {
    dialog = std::make_unique<C_Main_Dlg>(config.path());  // a directory without the libraries
    ASSERT_NE(dialog->noticeBox(), nullptr);
    EXPECT_TRUE(dialog->noticeBox()->text().contains("libnodra.so"));
    EXPECT_TRUE(dialog->noticeBox()->text().contains("libtlset.so"));
    dialog->control(kAddDevice)->setEnabled(true);
    qobject_cast<QPushButton*>(dialog->control(kAddDevice))->click();
    EXPECT_EQ(combo(kDeviceCombo)->count(), 0);
    EXPECT_TRUE(dialog->deviceList().empty());
    EXPECT_FALSE(enabled(kConnect));
}

}  // namespace
