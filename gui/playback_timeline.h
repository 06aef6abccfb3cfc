// The timeline under the video once the recorded range is known: the range
// from start to end, a mark at the recorder time being shown, a pause/play
// button and "Save span...". A click or a drag on the bar plays from the time
// under the pointer (one search start, on release). It follows the session
// by looking at it a few times a second, on the GUI thread.
#pragma once

#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "link/link_notifier.h"

namespace orvix {

class C_DrawStatic;

// Where recorder time `t` lies on a bar `width` pixels wide for `range`
// (end > start), and the time at `x` on it (clamped to the range).
int timelinePosition(uint32_t t, int width, const TimeRange& range);
uint32_t timelineTime(int x, int width, const TimeRange& range);

class PlaybackTimeline : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 44;
    static constexpr int kPollMs = 200;

    // GUI thread, all of it. `video` must outlive the timeline.
    explicit PlaybackTimeline(C_DrawStatic& video, QWidget* parent = nullptr);

    // Whether it is to be shown: connected with a range known.
    bool wanted() const { return wanted_; }
    // The bar, in this widget's coordinates.
    QRect barRect() const;
    // The keys of a player: Space pause/resume, Left/Right 10 s (with
    // Shift 1 min), Home/End the range's start and last minute. False when
    // the key is not one of them or means nothing now.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    // Plays from `t` as a click there would.
    void playFrom(uint32_t t);
    // Looks at the session now (the poll does it every kPollMs).
    void follow();

signals:
    // wanted() changed: the owner lays the video and the timeline out again.
    void wantedChanged(bool wanted);
    void saveSpanClicked();
    // Playback was started from here (a click, a key, Play).
    void played();
    // A span set on the session has been played to its end.
    void spanEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void togglePause();
    // The status lines show what the session's info line says now.
    void showInfo();
    std::optional<uint32_t> timeAt(int x) const;

    C_DrawStatic& video_;
    QPushButton pause_;
    QPushButton save_;
    QTimer poll_;
    bool wanted_ = false;
    bool spanWasEnded_ = false;
    std::optional<uint32_t> dragTime_;  // while the pointer is held on the bar
};

}  // namespace orvix
