// The video window's recording: the received video of the shown channel (the
// single view's, or the grid's selected tile's) kept in an MP4 file without
// re-encoding, with the red "REC" mark over the pictures meanwhile.
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
    // GUI thread, all of it.
    WindowRecording(VideoSession& session, VideoOutput& output, ViewSwitch& views, QObject* parent = nullptr);

    // Records from the next key picture into `path`. False (with the
    // reason) when no connection is set up. A recording already running is
    // finished first.
    bool start(const std::string& path, std::string& error);
    // Finishes the file so that it plays. False with the reason when
    // nothing playable was kept (or nothing was being recorded).
    bool stop(std::string& error);
    bool recording() const { return recorder_ != nullptr; }
    // The file being written, or the one written last.
    const std::string& path() const { return path_; }
    // The recorders held: the one writing, if any (a finished one is freed).
    size_t recordersHeld() const { return recorder_ != nullptr ? 1 : 0; }

    // A single-view picture of `size` reached the GUI: a file is begun at
    // the size of its first picture.
    void pictureShown(const QSize& size);
    // The connection ended or is torn down: a recording the user did not
    // stop is finished, and ended() tells of it.
    void end();

signals:
    // A recording ended without being asked to. `error` is empty when the
    // file plays.
    void ended(const QString& path, const QString& error);

private:
    void showMark(bool on);

    VideoSession& session_;
    VideoOutput& output_;
    ViewSwitch& views_;
    std::unique_ptr<StreamRecorder> recorder_;
    std::string path_;
};

}  // namespace orvix
