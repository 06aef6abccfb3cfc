// The video window: owns one connection at a time (the session with its
// link and display threads, and the renderers) and is driven only through
// window messages 1025-1043. It paints the logo with the status and info
// lines; pictures are drawn by the renderers' views laid over it. The
// session's events come to the window's thread, which turns those meant for
// the main dialog into the messages it forwards to its owner.
//
// Its parts: the dispatch of calls from other threads (and the stop of the
// link's threads), the switch between the single view and the grid, the
// recording and the status lines.
#pragma once

#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "core/channel_set.h"
#include "core/device_record.h"
#include "core/window_messages.h"
#include "gui/grid_feed.h"
#include "gui/message_dispatch.h"
#include "gui/status_band.h"
#include "gui/video_output.h"
#include "gui/view_switch.h"
#include "gui/window_recording.h"
#include "gui/window_status.h"
#include "session/session_events.h"
#include "session/video_session.h"

namespace orvix {

class GridView;

class C_DrawStatic : public QWidget, public MessageTarget, private SessionEvents {
    Q_OBJECT

public:
    static constexpr int kRatesTimerMs = 4000;

    explicit C_DrawStatic(QWidget* parent = nullptr);
    // Disconnects and tears down a connection that is still up.
    ~C_DrawStatic() override;

    // Any thread. On the window's thread the handler runs at once; from any
    // other thread the caller waits until the window's thread has run it.
    // Messages of the window's table return 1; 1031, 1039 and unknown
    // messages get no handling and return 0. 1033 returns 0 when the
    // request could not be sent (no video flowing).
    //
    // 1025, 1029 and 1030 have run when they return. Sent from a handler
    // of one of the link's reports, they let the link thread go on from
    // that report so that it can stop. While a stop of the link is under
    // way further down this thread's stack (only the reports that came
    // during it run then, once the link thread has ended), 1029 returns at
    // once (that stop completes the disconnect), and 1025 and 1030, which
    // cannot run before that stop is done, return 0.
    LParam sendMessage(uint32_t message, WParam wParam, LParam lParam) override;

    // Any thread: shows "Network Error occurred" on the window's thread
    // without waiting for it to be closed.
    void showNetworkError();

    // What the main dialog writes and reads directly.
    void setOwner(MessageTarget* owner) { owner_ = owner; }
    MessageTarget* owner() const { return owner_; }
    void setLanguageId(uint16_t language) { session_.overlay().language.store(language); }
    uint16_t languageId() { return session_.overlay().language.load(); }
    void setIFrameOnly(int iframeOnly) { session_.setIFrameOnly(iframeOnly != 0); }
    int iframeOnly() const { return session_.iframeOnly() ? 1 : 0; }
    void setStatistics(int statistics);
    void toggleStatistics() { setStatistics(statistics() == 0 ? 1 : 0); }
    int statistics() { return session_.overlay().statistics.load(); }
    int setUpFailed() const { return session_.setUpFailed() ? 1 : 0; }

    // 1 when pictures go through the accelerated renderer, else 0.
    int rendererFlag() const { return output_.rendererFlag(); }
    VideoSession& session() { return session_; }
    const VideoSession& session() const { return session_; }
    VideoOutput& output() { return output_; }
    // Whether the 4-second rates timer runs (from set-up to tear-down).
    bool ratesTimerActive() const { return ratesTimer_.isActive(); }
    // Messages and reports other threads are waiting on.
    size_t pendingMessages() const { return dispatch_.pending(); }
    // The open "Network Error occurred" box, if any.
    QMessageBox* networkErrorBox() const { return networkErrorBox_.data(); }

    // The picture shown now with its overlay, at the picture's height in
    // its display shape; a null image when no picture is shown.
    QImage snapshot() const;
    // Where the picture is drawn, in this window's coordinates (empty
    // without a picture).
    QRect pictureRect() const;

    // Keeps the received video of the shown channel in the MP4 file `path`,
    // without re-encoding, from its next key picture on; the red "REC" mark
    // shows over the picture meanwhile. False (with the reason) when no
    // connection is set up. A recording already running is finished first.
    bool startRecording(const std::string& path, std::string& error) { return recording_.start(path, error); }
    // Finishes the file so that it plays. False with the reason when
    // nothing playable was kept (or nothing was being recorded).
    bool stopRecording(std::string& error) { return recording_.stop(error); }
    bool recording() const { return recording_.recording(); }
    const std::string& recordingPath() const { return recording_.path(); }
    const WindowRecording& recordingPart() const { return recording_; }
    // The grid: the channels of `channels` (several) in `view` tiles, asked
    // for with one data request when video flows, else at the login. False
    // when the session refuses the set.
    bool showGrid(const ChannelSet& channels, int view) { return views_.showGrid(channels, view); }
    // Back to the single view of the record's current channel (the caller
    // asks for it with VWM_SET_CHANNEL while connected).
    void showSingle(int channel) { views_.showSingle(channel); }
    bool gridShown() const { return views_.gridShown(); }
    GridView* gridView() const { return views_.grid(); }
    GridFeed& gridFeed() { return views_.feed(); }
    // The channel the grid's selected tile shows, -1 outside the grid.
    int selectedTileChannel() const { return views_.selectedTileChannel(); }
    bool selectTile(int channel) { return views_.selectTile(channel); }

    // Puts `text` on the info line, over the logo or the picture.
    void showInfoLine(const std::string& text);
    // The status and info lines as the window draws them now: the info
    // line tells what a recording does through a reconnect.
    StatusLines statusLines() const;

signals:
    // The connection ended by itself (a LinkEndCause and the info line's
    // text); the status lines already say so.
    void connectionEnded(int cause, const QString& text);
    // The connection was lost and is made again after `delayMs` (attempt
    // `attempt`); the status line counts down meanwhile.
    void reconnectScheduled(int cause, const QString& text, int delayMs, int attempt);
    // A recording ended without being asked to: the connection ended or
    // was torn down. `error` is empty when the file plays.
    void recordingEnded(const QString& path, const QString& error);
    // The user double-clicked the video.
    void doubleClicked();
    // The user clicked a grid tile, or double-clicked one.
    void tileSelected(int channel);
    void tileDoubleClicked(int channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Runs the calls other threads have queued; called through the event
    // queue after each one.
    Q_INVOKABLE void drainSentMessages();

    // SessionEvents, on the window's thread: the forwarded messages, the
    // box and the signals.
    void statusChanged() override;
    void connected(const RecorderDescription& recorder) override;
    void rangeKnown(RangeKind kind, const TimeRange& range) override;
    void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) override;
    void networkError() override;
    void linkEnded(const LinkEnd& end) override;
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;

    LParam handle(uint32_t message, WParam wParam, LParam lParam);
    // 1025, 1029 and 1030: each may stop the link's threads.
    LParam handleStoppingMessage(uint32_t message, WParam wParam);

    void setUp(DeviceRecord* record);
    void refresh();
    void disconnect();
    void stopThreads();
    void tearDown();
    void forward(uint32_t message, WParam wParam, LParam lParam);
    void showNetworkErrorBox();
    // A single-view picture reached the GUI.
    void onPicture();

    // The status lines follow the shown view.
    void updateStatusLines();

    MessageDispatch dispatch_;
    VideoSession session_{dispatch_, *this};
    VideoOutput output_{this};
    ViewSwitch views_{this, output_, session_};
    WindowRecording recording_{session_, output_, views_};
    WindowStatus status_{this, [this] { return statusLines(); }};
    QTimer ratesTimer_;
    MessageTarget* owner_ = nullptr;
    QPointer<QMessageBox> networkErrorBox_;
};

}  // namespace orvix
