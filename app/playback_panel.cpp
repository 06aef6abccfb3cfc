// Playback as a player has it, in the main dialog: the timeline under the
// video, its keys, and saving a span of recorded video as MP4.
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/c_main_dlg.h"
#include "app/capture_files.h"
#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"
#include "gui/playback_timeline.h"
#include "media/calendar_time.h"

namespace orvix {
namespace {

constexpr uint32_t kDefaultSpanSeconds = 60;

QDateTime recorderDateTime(uint32_t seconds) {
    const CalendarTime t = secondsToCalendar(static_cast<int32_t>(seconds));
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
}

uint32_t recorderSeconds(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    return calendarToSeconds(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QDateTimeEdit* spanEdit(QWidget* parent, const QString& name, uint32_t value, const TimeRange& range) {
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(name);
    edit->setTimeSpec(Qt::UTC);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setDateTimeRange(recorderDateTime(range.start), recorderDateTime(range.end));
    edit->setDateTime(recorderDateTime(value));
    return edit;
}

}  // namespace

void C_Main_Dlg::initTimeline() {
    timeline_ = new PlaybackTimeline(*video_, this);
    connect(timeline_, &PlaybackTimeline::wantedChanged, this, [this] { layoutVideoAndTabs(); });
    connect(timeline_, &PlaybackTimeline::saveSpanClicked, this, [this] { askSpan(); });
    connect(timeline_, &PlaybackTimeline::spanEnded, this, [this] { finishSpan(); });
    // The Search page as in playback: LIVE leads back from the timeline's too.
    connect(timeline_, &PlaybackTimeline::played, this, [this] {
        for (int id : {kSearchDate, kSearchTime, kSearchStart, kSearchLive}) setControlEnabled(id, true);
    });
}

QRect C_Main_Dlg::placeTimeline(const QRect& video) {
    if (!timeline_->wanted()) return video;
    // The timeline takes the bottom of the video's place.
    const QRect bar(video.left(), video.bottom() + 1 - PlaybackTimeline::kHeight, video.width(),
                    PlaybackTimeline::kHeight);
    timeline_->setGeometry(bar);
    timeline_->raise();
    return video.adjusted(0, 0, 0, -PlaybackTimeline::kHeight);
}

bool C_Main_Dlg::handlePlaybackKey(QWidget* target, const QKeyEvent& event) {
    // Fields and lists keep their own arrows, Home and End; Space is the
    // viewer's everywhere.
    const bool field = qobject_cast<QAbstractSpinBox*>(target) != nullptr ||
                       qobject_cast<QLineEdit*>(target) != nullptr || qobject_cast<QComboBox*>(target) != nullptr;
    if (field && event.key() != Qt::Key_Space) {
        return false;
    }
    return timeline_->handleKey(event.key(), event.modifiers());
}

void C_Main_Dlg::askSpan() {
    const VideoSession& session = video_->session();
    const std::optional<TimeRange> range = session.recordedRange();
    if (!range) return;
    const uint32_t from = jumpTarget(session.shownTime().value_or(range->start), 0, range->start, range->end);
    const uint32_t to = jumpTarget(from, kDefaultSpanSeconds, range->start, range->end);
    QDialog ask(this);
    ask.setObjectName(QStringLiteral("SaveSpanDialog"));
    ask.setWindowTitle(QStringLiteral("Save span"));
    auto* form = new QFormLayout(&ask);
    QDateTimeEdit* fromEdit = spanEdit(&ask, QStringLiteral("SpanFrom"), from, *range);
    QDateTimeEdit* toEdit = spanEdit(&ask, QStringLiteral("SpanTo"), to, *range);
    form->addRow(QStringLiteral("From"), fromEdit);
    form->addRow(QStringLiteral("To"), toEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &ask);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    if (ask.exec() != QDialog::Accepted) return;
    saveSpan(recorderSeconds(fromEdit->dateTime()), recorderSeconds(toEdit->dateTime()));
}

QString C_Main_Dlg::saveSpan(uint32_t from, uint32_t to) {
    if (to <= from) {
        setInfoLine(QStringLiteral("Span not saved: its end must come after its start"));
        return QString();
    }
    if (video_->recording()) {
        setInfoLine(QStringLiteral("Span not saved: a recording runs (Ctrl+R stops it)"));
        return QString();
    }
    VideoSession& session = video_->session();
    // Only the pictures of the span reach the file.
    session.setSpan(from, to);
    if (!startRecordingFile()) {
        session.clearSpan();
        return QString();
    }
    const QString path = QString::fromStdString(video_->recordingPath());
    qobject_cast<QPushButton*>(control(kRecord))->setChecked(true);
    timeline_->playFrom(from);
    setInfoLine(QStringLiteral("Saving span to ") + path);
    return path;
}

void C_Main_Dlg::finishSpan() {
    VideoSession& session = video_->session();
    session.clearSpan();
    if (!video_->recording()) return;
    // The span has been played: the file ends and the picture stays.
    session.pause();
    const QString path = QString::fromStdString(video_->recordingPath());
    std::string error;
    const bool ok = video_->stopRecording(error);
    qobject_cast<QPushButton*>(control(kRecord))->setChecked(false);
    setInfoLine(ok ? QStringLiteral("Span saved to ") + path
                   : QStringLiteral("Span not saved: ") + QString::fromStdString(error));
}

}  // namespace orvix
