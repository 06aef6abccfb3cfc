// The video window: owns one connection at a time (the session with its
// link and display threads, and the renderers) and is driven only through
// window messages 1025-1043. It paints the logo with the status and info
// lines; pictures are drawn by the renderers' views laid over it. The
// session's events come to the window's thread, which turns those meant for
// the main dialog into the messages it forwards to its owner.
#pragma once

#include <QFont>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/channel_set.h"
#include "core/device_record.h"
#include "core/window_messages.h"
#include "gui/grid_feed.h"
#include "gui/sent_message_queue.h"
#include "gui/status_strip.h"
#include "gui/video_output.h"
#include "recording/stream_recorder.h"
#include "session/owner_thread.h"
#include "session/session_events.h"
#include "session/video_session.h"

namespace orvix {

class GridView;

class C_DrawStatic : public QWidget, public MessageTarget, private OwnerThread, private SessionEvents {
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
    // 1025, 1029 and 1030 have run when they return. From another thread
    // they wait while a stop of the link is under way. Sent from a handler
    // of a link notification, they let the link thread go on from that
    // notification so that it can stop: such a handler must not read the
    // notification's parameters afterwards. Sent while a stop is under way
    // further down this thread's stack, 1029 returns once the link thread
    // has ended (that stop completes the disconnect), and 1025 and 1030,
    // which cannot run before that stop is done, return 0.
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
    // Messages other threads are waiting on.
    size_t pendingMessages() const { return sent_.pending(); }
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
    bool startRecording(const std::string& path, std::string& error);
    // Finishes the file so that it plays. False with the reason when
    // nothing playable was kept (or nothing was being recorded).
    bool stopRecording(std::string& error);
    bool recording() const { return recorder_ != nullptr; }
    // The grid: the channels of `channels` (several) in `view` tiles, asked
    // for with one data request when video flows, else at the login. False
    // when the session refuses the set.
    bool showGrid(const ChannelSet& channels, int view);
    // Back to the single view of the record's current channel (the caller
    // asks for it with VWM_SET_CHANNEL while connected).
    void showSingle(int channel);
    bool gridShown() const { return gridShown_; }
    GridView* gridView() const { return grid_; }
    GridFeed& gridFeed() { return feed_; }
    // The channel the grid's selected tile shows, -1 outside the grid.
    int selectedTileChannel() const;
    bool selectTile(int channel);

    // Puts `text` on the info line, over the logo or the picture.
    void showInfoLine(const std::string& text);
    const std::string& recordingPath() const { return recordingPath_; }

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
    // Runs the messages other threads have queued; called through the event
    // queue after each one.
    Q_INVOKABLE void drainSentMessages();
    // OwnerThread: the link's reports, on the link thread.
    void sendReport(Task task) override;
    void postReport(Task task) override;
    // SessionEvents, on the window's thread: the forwarded messages, the
    // box and the signals.
    void statusChanged() override;
    void connected(const RecorderDescription& recorder) override;
    void rangeKnown(RangeKind kind, const TimeRange& range) override;
    void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) override;
    void networkError() override;
    void linkEnded(const LinkEnd& end) override;
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;
    bool onOwnThread() const;
    LParam handle(uint32_t message, WParam wParam, LParam lParam);
    // 1025, 1029 and 1030: each may stop the link's threads.
    static bool stopsTheLink(uint32_t message);
    LParam handleStoppingMessage(uint32_t message, WParam wParam);
    // While a stop is under way further down the stack: waits, handling
    // messages, until the link thread has ended.
    void waitForStopUnderWay();

    void setUp(DeviceRecord* record);
    void refresh();
    void disconnect();
    void stopThreads();
    void tearDown();
    void forward(uint32_t message, WParam wParam, LParam lParam);
    void showNetworkErrorBox();

    // The status lines over the picture; shown while a picture is.
    void updateStatusStrip();
    StatusLines statusLines() const;
    // Finishes a recording the user did not stop, and says so.
    void endRecording();

    // Shows the grid over everything else, with the status lines above it.
    void raiseGrid();

    VideoOutput output_{this};
    GridFeed feed_;
    GridView* grid_ = nullptr;
    bool gridShown_ = false;
    VideoSession session_{*this, *this};
    SentMessageQueue sent_;
    QTimer ratesTimer_;
    QImage logo_;
    QFont statusFont_;
    MessageTarget* owner_ = nullptr;
    QPointer<QMessageBox> networkErrorBox_;
    StatusStrip* statusStrip_ = nullptr;
    std::unique_ptr<StreamRecorder> recorder_;
    std::string recordingPath_;
    // Finished recorders stay until the display thread has ended: it may be
    // inside one of them when the recording stops.
    std::vector<std::unique_ptr<StreamRecorder>> finishedRecorders_;
    int linkNotificationDepth_ = 0;  // link reports being handled on this thread
    bool stopping_ = false;          // a stop of the threads is waiting for the link
};

}  // namespace orvix
