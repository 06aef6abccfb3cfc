#include "app/page_layout.h"

#include "app/main_dialog_ids.h"

namespace orvix {
namespace {

const std::vector<int> kPages[kPageCount] = {
    {kDeviceLabel, kDeviceCombo, kAddDevice, kDeleteDevice, kWall},
    {kInfoSetup, kConnect, kChannelLabel, kChannelCombo, kIFrameOnly, kAutoReconnect, kSnapshot, kRecord, kViewLabel,
     kViewCombo, kGroupPrevious, kGroupNext},
    {kRecInfoReq, kSearchStart, kSearchLive, kSearchDate, kSearchTime, kSearchRange},
    {kPanLeft, kTiltUp, kTiltDown, kPanRight, kPanTiltStop, kDirectionMode},
    {kZoomOut, kZoomStop, kZoomIn, kFocusIn, kFocusStop, kFocusOut},
    {kPresetNumber, kPresetAction, kPresetSend},
    {kAlarmOutput, kAlarmDuration, kAlarmOn, kAlarmOff},
};

class Placer {
public:
    Placer(const PageFrame& frame, const std::function<QSize(int)>& sizeOf) : frame_(frame), sizeOf_(sizeOf) {}

    int height(int id) const { return sizeOf_(id).height(); }
    int firstX() const { return frame_.left + 3; }
    // Right edge (exclusive) of a control placed before.
    int rightOf(int id) const {
        for (const Placement& p : placed_)
            if (p.id == id) return p.rect.x() + p.rect.width();
        return firstX();
    }
    void put(int id, int x, int top) { placed_.push_back({id, QRect(QPoint(x, top), sizeOf_(id))}); }
    void putSized(int id, int x, int top, int width) {
        placed_.push_back({id, QRect(x, top, width, sizeOf_(id).height())});
    }
    // A row: the first control at left + 3, the others 1 pixel apart.
    void row(std::initializer_list<int> ids, int top) { rowFrom(ids, firstX(), top); }
    void rowFrom(std::initializer_list<int> ids, int x, int top) {
        for (int id : ids) {
            put(id, x, top);
            x = rightOf(id) + 1;
        }
    }
    std::vector<Placement> take() { return std::move(placed_); }

private:
    const PageFrame& frame_;
    const std::function<QSize(int)>& sizeOf_;
    std::vector<Placement> placed_;
};

}  // namespace

const std::vector<int>& pageControls(int page) {
    static const std::vector<int> none;
    return page >= 0 && page < kPageCount ? kPages[page] : none;
}

const std::vector<int>& allPageControls() {
    static const std::vector<int> all = [] {
        std::vector<int> ids;
        for (const auto& page : kPages) ids.insert(ids.end(), page.begin(), page.end());
        return ids;
    }();
    return all;
}

std::vector<Placement> placePage(int page, const PageFrame& frame, const std::function<QSize(int)>& sizeOf) {
    Placer p(frame, sizeOf);
    const int b = frame.base;
    switch (page) {
    case kPageDevice: {
        p.row({kDeviceLabel}, b - 1);
        const int x = p.rightOf(kDeviceLabel) + 1;
        p.putSized(kDeviceCombo, x, b - 2, frame.right - 2 - x);
        p.row({kAddDevice, kDeleteDevice, kWall}, b + 1 + p.height(kDeviceCombo));
        break;
    }
    case kPageConnect:
        p.row({kInfoSetup, kConnect, kSnapshot, kRecord}, b - 1);
        p.put(kChannelLabel, p.firstX(), b + 2 + p.height(kConnect));
        p.rowFrom({kChannelCombo, kIFrameOnly}, p.rightOf(kChannelLabel) + 1, b + 1 + p.height(kConnect));
        p.row({kAutoReconnect}, b + 2 + p.height(kConnect) + p.height(kChannelCombo));
        // The view and its group buttons to the right of "I only", clear of
        // the controls above and below.
        p.put(kViewLabel, p.rightOf(kIFrameOnly) + 9, b + 2 + p.height(kConnect));
        p.rowFrom({kViewCombo, kGroupPrevious, kGroupNext}, p.rightOf(kViewLabel) + 1, b + 1 + p.height(kConnect));
        break;
    case kPageSearch:
        p.row({kRecInfoReq, kSearchStart, kSearchLive}, b - 1);
        p.row({kSearchDate, kSearchTime}, b + 1 + p.height(kSearchLive));
        // The recorded range, as text, under the pickers.
        p.row({kSearchRange}, b + 2 + p.height(kSearchLive) + p.height(kSearchTime));
        break;
    case kPagePanTilt: {
        // The cross: Up over Down between Left and Right, the stop and mode
        // buttons in a column of their own.
        const int middle = b - 1 + p.height(kTiltUp) / 2;
        p.put(kPanLeft, p.firstX(), middle);
        const int column = p.rightOf(kPanLeft) + 1;
        p.put(kTiltUp, column, b - 1);
        p.put(kTiltDown, column, b + p.height(kTiltUp));
        p.put(kPanRight, p.rightOf(kTiltDown) + 1, middle);
        const int side = p.rightOf(kPanRight) + 2;
        p.put(kPanTiltStop, side, b - 1);
        p.put(kDirectionMode, side, b + p.height(kPanTiltStop));
        break;
    }
    case kPageZoomFocus:
        p.row({kZoomOut, kZoomStop, kZoomIn}, b - 1);
        p.row({kFocusIn, kFocusStop, kFocusOut}, b + p.height(kZoomIn));
        break;
    case kPagePreset:
        p.row({kPresetNumber, kPresetAction, kPresetSend}, b - 1);
        break;
    case kPageAlarm:
        p.row({kAlarmOutput, kAlarmDuration}, b - 1);
        p.row({kAlarmOn, kAlarmOff}, b + p.height(kAlarmDuration));
        break;
    default:
        break;
    }
    return p.take();
}

}  // namespace orvix
