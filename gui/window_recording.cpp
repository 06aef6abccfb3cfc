#include "gui/window_recording.h"

#include "media/video_codec.h"

namespace orvix {

WindowRecording::WindowRecording(VideoSession& session, VideoOutput& output, ViewSwitch& views, QObject* parent)
    : QObject(parent), session_(session), output_(output), views_(views) {}

bool WindowRecording::start(const std::string& path, std::string& error) {
    if (recorder_ != nullptr) stop(error);
    error.clear();
    DeviceRecord* record = session_.record();
    if (!session_.threadsRunning() || session_.linkEnded() || record == nullptr) {
        error = "not connected";
        return false;
    }
    recorder_ = std::make_unique<StreamRecorder>(path);
    recorder_->setCodec(codecForModel(record->modelIndex.load()));
    path_ = path;
    if (views_.gridShown()) {
        // The selected tile's channel, as the decode workers hand it on.
        views_.feed().setRecorder(views_.grid()->selectedChannel(), recorder_.get());
    } else if (!session_.setDecodeTap(recorder_.get())) {
        recorder_.reset();
        error = "not connected";
        return false;
    } else {
        // The file begins at the first picture after its first key picture:
        // the GUI hears of every picture meanwhile, so a short recording
        // is not lost waiting for the next notice.
        output_.handOver().setEager(true);
    }
    showMark(true);
    return true;
}

bool WindowRecording::stop(std::string& error) {
    if (recorder_ == nullptr) {
        error = "nothing is being recorded";
        return false;
    }
    // Once detached from the decoder and the grid's feed, no thread is
    // inside the recorder any more: it goes with its file.
    session_.setDecodeTap(nullptr);
    output_.handOver().setEager(false);
    views_.feed().setRecorder(-1, nullptr);
    showMark(false);
    const bool ok = recorder_->finish(error);
    recorder_.reset();
    return ok;
}

void WindowRecording::pictureShown(const QSize& size) {
    if (recorder_ != nullptr) recorder_->pictureDecoded(size.width(), size.height());
}

void WindowRecording::end() {
    if (recorder_ == nullptr) return;
    const QString path = QString::fromStdString(path_);
    std::string error;
    stop(error);
    emit ended(path, QString::fromStdString(error));
}

void WindowRecording::showMark(bool on) {
    views_.grid()->setRecordingMark(on && views_.gridShown());
    output_.setRecordingMark(on);
}

}  // namespace orvix
