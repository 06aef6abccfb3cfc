// The video window's recording: the received video of the shown channel (the
// single view's, or the grid's selected tile's) kept in MP4 files without
// re-encoding, with the red "REC" mark over the pictures meanwhile.
//
// States: Off; Recording (a file is being written); Paused (the connection
// was lost and the link connects again: the file written so far is finished,
// and the mark shows paused over the logo). Once video flows again the
// recording goes on in a new file, NAME-2.mp4, NAME-3.mp4, ... (a file that
// got nothing before the loss is not counted). A recorder is freed as soon
// as its file is finished.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <memory>
#include <string>

#include "gui/video_output.h"
#include "gui/view_switch.h"
#include "recording/stream_recorder.h"
#include "session/video_session.h"

namespace orvix {

class WindowRecording : public QObject {
    Q_OBJECT

public:
    enum class State { Off, Recording, Paused };

    // GUI thread, all of it.
    WindowRecording(VideoSession& session, VideoOutput& output, ViewSwitch& views, QObject* parent = nullptr);

    // Records from the next key picture into `path`. False (with the
    // reason) when no connection is set up. A recording already running is
    // finished first.
    bool start(const std::string& path, std::string& error);
    // Finishes the file so that it plays. False with the reason when
    // nothing playable was kept (or nothing was being recorded); while
    // paused, what finishing the last file gave.
    bool stop(std::string& error);
    State state() const { return state_; }
    bool recording() const { return state_ != State::Off; }
    // The file being written, or the one finished last.
    const std::string& path() const { return path_; }
    // What the info line adds while a recording is paused or goes on after
    // a reconnect; empty otherwise.
    QString note() const;
    // The recorders held: the one writing, if any (a finished one is freed).
    size_t recordersHeld() const { return recorder_ != nullptr ? 1 : 0; }

    // The session's events.
    // The recorder described itself: the codec of the files.
    void recorderKnown();
    // The connection was lost and is made again: the file is finished.
    void connectionLost();
    // The status changed: once video flows again, a new file is begun.
    void statusChanged();
    // A single-view picture of `size` reached the GUI: a file is begun at
    // the size of its first picture.
    void pictureShown(const QSize& size);
    // The connection ended for good or is torn down: a recording the user
    // did not stop is finished, and ended() tells of it.
    void end();

signals:
    // A recording ended without being asked to. `error` is empty when the
    // file plays.
    void ended(const QString& path, const QString& error);
    // The state or the note changed.
    void changed();

private:
    // The one transition: where the packets go and what the marks show.
    void enter(State next);
    // Begins the file at `path` (a recorder for it, the codec as known).
    void openFile(const std::string& path);
    // Finishes the file being written and frees its recorder; the outcome
    // is kept for stop().
    void closeFile();

    VideoSession& session_;
    VideoOutput& output_;
    ViewSwitch& views_;
    State state_ = State::Off;
    std::unique_ptr<StreamRecorder> recorder_;
    int channel_ = -1;        // the grid tile's channel, -1 for the single view
    std::string firstPath_;   // the name the user chose; the others follow it
    int files_ = 0;           // files finished that got video
    std::string path_;
    bool lastOk_ = false;     // how finishing the last file went
    std::string lastError_;
};

}  // namespace orvix
