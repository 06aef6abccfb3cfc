// The "PanTilt", "Zoom/Focus", "Preset" and "Alarm" pages: what each click
// sends the video window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "app/main_dialog_ids.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class CameraPanelTest : public MainDialogTest {
protected:
    void SetUp() override {
        store({{1, u"A"}});
        open();
        connectStreaming();
        takeSent();
    }
    // Clicks `id` and returns the one message it sent as (message, w, l).
    std::tuple<uint32_t, WParam, LParam> clickSends(int id) {
        click(id);
        const auto messages = takeSent();
        EXPECT_EQ(messages.size(), 1u) << id;
        if (messages.empty()) return {0, 0, 0};
        return {messages[0].message, messages[0].wParam, messages[0].lParam};
    }
    std::tuple<uint32_t, WParam, LParam> ptz(WParam action, LParam parameter = 0) {
        return {VWM_PTZ, action, parameter};
    }
    QString modeText() { return qobject_cast<QPushButton*>(control(kDirectionMode))->text(); }
};

TEST_F(CameraPanelTest, DirectionsFollowTheMode) {
    EXPECT_EQ(clickSends(kTiltUp), ptz(1));
    EXPECT_EQ(clickSends(kTiltDown), ptz(2));
    EXPECT_EQ(clickSends(kPanLeft), ptz(3));
    EXPECT_EQ(clickSends(kPanRight), ptz(4));

    click(kDirectionMode);
    EXPECT_EQ(modeText(), "Invert");
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(clickSends(kTiltUp), ptz(2));
    EXPECT_EQ(clickSends(kTiltDown), ptz(1));
    EXPECT_EQ(clickSends(kPanLeft), ptz(4));
    EXPECT_EQ(clickSends(kPanRight), ptz(3));

    click(kDirectionMode);
    EXPECT_EQ(modeText(), "Normal");
    EXPECT_EQ(clickSends(kTiltUp), ptz(1));
}

TEST_F(CameraPanelTest, TheModeOutlivesAConnection) {
    click(kDirectionMode);
    click(kConnect);  // disconnect
    connectStreaming();
    takeSent();
    EXPECT_EQ(modeText(), "Invert");
    EXPECT_EQ(clickSends(kPanLeft), ptz(4));
}

TEST_F(CameraPanelTest, EachStopButtonSendsStop) {
    for (int id : {kPanTiltStop, kZoomStop, kFocusStop}) EXPECT_EQ(clickSends(id), ptz(0)) << id;
}

TEST_F(CameraPanelTest, ZoomAndFocus) {
    EXPECT_EQ(clickSends(kZoomOut), ptz(7));
    EXPECT_EQ(clickSends(kZoomIn), ptz(8));
    EXPECT_EQ(clickSends(kFocusIn), ptz(9));
    EXPECT_EQ(clickSends(kFocusOut), ptz(10));
}

TEST_F(CameraPanelTest, PresetSendCountsPresetsFromOne) {
    EXPECT_EQ(clickSends(kPresetSend), ptz(5, 1));
    chooseEntry(combo(kPresetNumber), 15);
    chooseEntry(combo(kPresetAction), 1);
    EXPECT_EQ(clickSends(kPresetSend), ptz(6, 16));
    combo(kPresetAction)->setCurrentIndex(-1);
    click(kPresetSend);
    EXPECT_TRUE(takeSent().empty());
}

TEST_F(CameraPanelTest, AlarmOnNamesOutputAndDurationOffNamesNeither) {
    EXPECT_EQ(clickSends(kAlarmOn), std::make_tuple(uint32_t{VWM_ALARM_ON}, WParam{0}, LParam{0}));
    chooseEntry(combo(kAlarmOutput), 128);
    chooseEntry(combo(kAlarmDuration), 10);
    EXPECT_EQ(clickSends(kAlarmOn), std::make_tuple(uint32_t{VWM_ALARM_ON}, WParam{128}, LParam{7200}));
    EXPECT_EQ(clickSends(kAlarmOff), std::make_tuple(uint32_t{VWM_ALARM_OFF}, WParam{0}, LParam{0}));
}

}  // namespace
