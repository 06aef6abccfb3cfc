// The "Search" page: asking for the recorded range, showing it, keeping the
// chosen date and time inside it, playing from the chosen second and back
// to live. Pickers hold recorder wall-clock time with no zone: their values
// are plain calendar fields, kept as UTC so that no zone or daylight rule of
// this host shifts, drops or repeats a time.
#include <QDateEdit>
#include <QLabel>
#include <QLocale>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <algorithm>
#include <cstring>

#include "app/c_main_dlg.h"
#include "app/control_states.h"
#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"
#include "media/calendar_time.h"

namespace orvix {
namespace {

const QTime kDayStart(0, 0, 0);
const QTime kDayEnd(23, 59, 59);

QDateTime recorderTime(uint32_t seconds) {
    const CalendarTime t = secondsToCalendar(static_cast<int32_t>(seconds));
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
}

}  // namespace

void C_Main_Dlg::initSearchPickers() {
    searchDate_->setTimeSpec(Qt::UTC);
    searchTime_->setTimeSpec(Qt::UTC);
    // The locale's short date, with the year in full so that no century has
    // to be guessed.
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    searchDate_->setDisplayFormat(format);
    searchDate_->setCalendarPopup(true);
    searchTime_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    // A typed time is brought into the range once it is complete.
    connect(searchTime_, &QTimeEdit::editingFinished, this, [this] { keepSearchTimeInRange(); });

    // Both start at this host's wall-clock time, read as plain fields.
    const QDateTime now = QDateTime::currentDateTime();
    const QTime time(now.time().hour(), now.time().minute(), now.time().second());
    const QSignalBlocker blockDate(searchDate_);
    searchDate_->setDate(now.date());
    searchTime_->setDateTime(QDateTime(now.date(), time, Qt::UTC));
}

void C_Main_Dlg::applyTimeLimits() {
    // The time picker takes the date picker's day and keeps its own hour,
    // minute and second. It offers the whole day, so that any time of the
    // range can be typed digit by digit; keepSearchTimeInRange() then pulls
    // a time outside the range to its nearer end.
    const QDate date = searchDate_->date();
    const QTime time = searchTime_->time();
    const QSignalBlocker blockTime(searchTime_);
    searchTime_->setTimeRange(kDayStart, kDayEnd);
    searchTime_->setDateTime(QDateTime(date, time, Qt::UTC));
    // Again, so that the limits lie on the new day.
    searchTime_->setTimeRange(kDayStart, kDayEnd);
}

void C_Main_Dlg::keepSearchTimeInRange() {
    if (!rangeKnown_) return;
    const QDateTime chosen(searchDate_->date(), searchTime_->time(), Qt::UTC);
    const QDateTime kept = std::clamp(chosen, rangeStart_, rangeEnd_);
    if (kept == chosen) return;
    const QSignalBlocker blockDate(searchDate_);
    searchDate_->setDate(kept.date());
    searchTime_->setTime(kept.time());
    applyTimeLimits();
}

void C_Main_Dlg::onRecordInfoRequest() {
    // The camera controls wait for the reply only when the request went
    // out; without video flowing nothing is sent and nothing would answer.
    if (sendToVideo(VWM_RECORD_INFO_REQ) == 0) return;
    for (int id : cameraAndAlarmControls()) setControlEnabled(id, false);
}

void C_Main_Dlg::onRangeKnown(WParam range) {
    if (range == 0) return;
    uint32_t bounds[2];
    std::memcpy(bounds, reinterpret_cast<const void*>(range), sizeof bounds);
    rangeStart_ = recorderTime(bounds[0]);
    rangeEnd_ = recorderTime(bounds[1]);
    rangeKnown_ = rangeStart_.isValid() && rangeEnd_.isValid();
    if (rangeKnown_) {
        const QSignalBlocker blockDate(searchDate_);
        searchDate_->setDateRange(rangeStart_.date(), rangeEnd_.date());
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
        searchRange_->setText(QString::fromLatin1(kStringRecordedRange)
                                  .arg(rangeStart_.toString(format), rangeEnd_.toString(format)));
        searchRange_->adjustSize();
    }
    applyTimeLimits();
    keepSearchTimeInRange();
    for (int id : {kSearchDate, kSearchTime, kSearchStart, kSearchLive}) setControlEnabled(id, true);
}

void C_Main_Dlg::clearRange() {
    rangeKnown_ = false;
    searchRange_->clear();
}

void C_Main_Dlg::onNoRange() {
    clearRange();
    setControlEnabled(kSearchStart, false);
    setControlEnabled(kSearchLive, true);
    setControlEnabled(kSearchDate, false);
    setControlEnabled(kSearchTime, false);
}

void C_Main_Dlg::onSearchDateChanged() {
    applyTimeLimits();
    keepSearchTimeInRange();
}

void C_Main_Dlg::onSearchStart() {
    keepSearchTimeInRange();
    const QDate date = searchDate_->date();
    const QTime time = searchTime_->time();
    const uint32_t seconds =
        calendarToSeconds(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second());
    sendToVideo(VWM_SEARCH_START, seconds);
}

void C_Main_Dlg::onSearchLive() {
    showLiveControls();
    sendToVideo(VWM_SEARCH_END);
}

void C_Main_Dlg::showLiveControls() {
    setControlEnabled(kSearchStart, false);
    setControlEnabled(kSearchLive, false);
    setControlEnabled(kSearchDate, false);
    setControlEnabled(kSearchTime, true);
    for (int id : cameraAndAlarmControls()) setControlEnabled(id, true);
}

void C_Main_Dlg::onReconnectScheduled() {
    // The session comes back live: a search or playback under way ends, as
    // LIVE would end it.
    if (control(kSearchLive)->isEnabled()) showLiveControls();
}

}  // namespace orvix
