#include "gui/playback_timeline.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "core/window_messages.h"
#include "gui/c_draw_static.h"
#include "media/calendar_time.h"

namespace orvix {
namespace {

constexpr int kMargin = 6;
constexpr int kButtonWidth = 90;
constexpr int kJumpSeconds = 10;
constexpr int kLongJumpSeconds = 60;

QString recorderText(uint32_t seconds) {
    const CalendarTime t = secondsToCalendar(static_cast<int32_t>(seconds));
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace

int timelinePosition(uint32_t t, int width, const TimeRange& range) {
    if (range.end <= range.start || width <= 1) return 0;
    const uint32_t kept = std::clamp(t, range.start, range.end);
    return static_cast<int>(static_cast<int64_t>(kept - range.start) * (width - 1) / (range.end - range.start));
}

uint32_t timelineTime(int x, int width, const TimeRange& range) {
    if (range.end <= range.start || width <= 1) return range.start;
    const int64_t kept = std::clamp(x, 0, width - 1);
    return range.start + static_cast<uint32_t>(kept * (range.end - range.start) / (width - 1));
}

PlaybackTimeline::PlaybackTimeline(C_DrawStatic& video, QWidget* parent)
    : QWidget(parent), video_(video), pause_(this), save_(QStringLiteral("Save span..."), this) {
    setObjectName(QStringLiteral("PlaybackTimeline"));
    pause_.setObjectName(QStringLiteral("TimelinePause"));
    save_.setObjectName(QStringLiteral("TimelineSaveSpan"));
    // The keys stay with the video and the dialog.
    pause_.setFocusPolicy(Qt::NoFocus);
    save_.setFocusPolicy(Qt::NoFocus);
    setFixedHeight(kHeight);
    hide();
    connect(&pause_, &QPushButton::clicked, this, [this] { togglePause(); });
    connect(&save_, &QPushButton::clicked, this, &PlaybackTimeline::saveSpanClicked);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { follow(); });
    poll_.start();
}

QRect PlaybackTimeline::barRect() const {
    const int left = kMargin * 2 + kButtonWidth;
    const int right = width() - kMargin * 2 - kButtonWidth;
    return QRect(left, kHeight / 2 - 2, std::max(2, right - left), 12);
}

void PlaybackTimeline::resizeEvent(QResizeEvent*) {
    const int buttonTop = (kHeight - 28) / 2;
    pause_.setGeometry(kMargin, buttonTop, kButtonWidth, 28);
    save_.setGeometry(width() - kMargin - kButtonWidth, buttonTop, kButtonWidth, 28);
}

void PlaybackTimeline::follow() {
    const VideoSession& session = video_.session();
    const bool wanted = session.isSetUp() && session.recordedRange().has_value();
    const PlaybackPhase phase = session.playback();
    pause_.setText(phase == PlaybackPhase::Playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    pause_.setEnabled(phase != PlaybackPhase::Live);
    save_.setEnabled(!video_.recording());
    const bool ended = session.spanEnded();
    if (ended && !spanWasEnded_) emit spanEnded();
    spanWasEnded_ = ended;
    if (wanted != wanted_) {
        wanted_ = wanted;
        setVisible(wanted);
        emit wantedChanged(wanted);
    }
    if (wanted_) update();
}

void PlaybackTimeline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(32, 32, 32));
    const std::optional<TimeRange> range = video_.session().recordedRange();
    if (!range) return;
    const QRect bar = barRect();
    painter.fillRect(bar, QColor(58, 110, 165));
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(220, 220, 220));
    const int textTop = bar.bottom() + 2;
    painter.drawText(QRect(bar.left(), textTop, bar.width(), 14), Qt::AlignLeft, recorderText(range->start));
    painter.drawText(QRect(bar.left(), textTop, bar.width(), 14), Qt::AlignRight, recorderText(range->end));

    // The mark: where the pointer is held, else the time shown in playback.
    const PlaybackPhase phase = video_.session().playback();
    std::optional<uint32_t> mark = dragTime_;
    if (!mark && phase != PlaybackPhase::Live) mark = video_.session().shownTime();
    if (!mark) return;
    const int x = bar.left() + timelinePosition(*mark, bar.width(), *range);
    painter.fillRect(QRect(x - 1, bar.top() - 8, 3, bar.height() + 10), QColor(255, 220, 0));
    QString label = recorderText(*mark);
    if (!dragTime_ && phase == PlaybackPhase::Paused) label += QStringLiteral("  PAUSED");
    painter.drawText(QRect(bar.left(), 0, bar.width(), bar.top() - 8), Qt::AlignHCenter | Qt::AlignBottom, label);
}

std::optional<uint32_t> PlaybackTimeline::timeAt(int x) const {
    const std::optional<TimeRange> range = video_.session().recordedRange();
    if (!range) return std::nullopt;
    const QRect bar = barRect();
    return timelineTime(x - bar.left(), bar.width(), *range);
}

void PlaybackTimeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QRect grip = barRect().adjusted(0, -10, 0, 10);
    if (!grip.contains(event->position().toPoint())) return;
    dragTime_ = timeAt(event->position().toPoint().x());
    update();
}

void PlaybackTimeline::mouseMoveEvent(QMouseEvent* event) {
    if (!dragTime_) return;
    dragTime_ = timeAt(event->position().toPoint().x());
    update();
}

void PlaybackTimeline::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragTime_ || event->button() != Qt::LeftButton) return;
    const std::optional<uint32_t> t = timeAt(event->position().toPoint().x());
    dragTime_.reset();
    if (t) playFrom(*t);
    update();
}

void PlaybackTimeline::playFrom(uint32_t t) {
    // Through the window, so that a grid shows playback on every tile.
    video_.sendMessage(VWM_SEARCH_START, t, 0);
    showInfo();
    update();
    emit played();
}

void PlaybackTimeline::togglePause() {
    video_.session().togglePause();
    showInfo();
    follow();
    emit played();
}

void PlaybackTimeline::showInfo() { video_.showInfoLine(video_.session().infoLine()); }

bool PlaybackTimeline::handleKey(int key, Qt::KeyboardModifiers modifiers) {
    VideoSession& session = video_.session();
    const std::optional<TimeRange> range = session.recordedRange();
    const bool inPlayback = session.playback() != PlaybackPhase::Live;
    const bool shift = modifiers == Qt::ShiftModifier;
    if (modifiers != Qt::NoModifier && !shift) return false;
    switch (key) {
    case Qt::Key_Space:
        if (!inPlayback || shift) return false;
        togglePause();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        if (!inPlayback) return false;
        const int step = shift ? kLongJumpSeconds : kJumpSeconds;
        session.jump(key == Qt::Key_Left ? -step : step);
        showInfo();
        follow();
        return true;
    }
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!range || shift) return false;
        playFrom(key == Qt::Key_Home ? range->start : jumpTarget(range->end, -kLongJumpSeconds, range->start, range->end));
        return true;
    default:
        return false;
    }
}

}  // namespace orvix
