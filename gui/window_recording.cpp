#include "gui/window_recording.h"

#include <filesystem>

#include "media/video_codec.h"
#include "session/segment_path.h"

namespace orvix {

WindowRecording::WindowRecording(VideoSession& session, VideoOutput& output, ViewSwitch& views, QObject* parent)
    : QObject(parent), session_(session), output_(output), views_(views) {}

bool WindowRecording::start(const std::string& path, std::string& error) {
    if (recording()) stop(error);
    error.clear();
    if (!session_.threadsRunning() || session_.linkEnded() || session_.record() == nullptr) {
        error = "not connected";
        return false;
    }
    // The selected tile's channel, as the decode workers hand it on, or
    // the single view's decoder.
    channel_ = views_.gridShown() ? views_.grid()->selectedChannel() : -1;
    firstPath_ = path;
    files_ = 0;
    openFile(path);
    if (channel_ < 0 && !session_.setDecodeTap(recorder_.get())) {
        recorder_.reset();
        error = "not connected";
        return false;
    }
    enter(State::Recording);
    return true;
}

bool WindowRecording::stop(std::string& error) {
    if (state_ == State::Off) {
        error = "nothing is being recorded";
        return false;
    }
    const State was = state_;
    enter(State::Off);
    if (was == State::Recording) closeFile();
    error = lastError_;
    return lastOk_;
}

QString WindowRecording::note() const {
    const QString name = QString::fromStdString(std::filesystem::path(path_).filename().string());
    if (state_ == State::Paused) {
        return lastOk_ ? QStringLiteral("Recording paused (%1 saved)").arg(name) : QStringLiteral("Recording paused");
    }
    if (state_ == State::Recording && path_ != firstPath_) return QStringLiteral("Recording continues in %1").arg(name);
    return QString();
}

void WindowRecording::recorderKnown() {
    if (recorder_ != nullptr) recorder_->setCodec(codecForModel(session_.recorder()->modelIndex));
}

void WindowRecording::connectionLost() {
    if (state_ != State::Recording) return;
    enter(State::Paused);
    closeFile();
    emit changed();
}

void WindowRecording::statusChanged() {
    if (state_ != State::Paused || !session_.streaming()) return;
    // A file that got nothing before the loss gives its name to the next.
    openFile(files_ == 0 ? firstPath_ : segmentPath(firstPath_, files_ + 1));
    enter(State::Recording);
}

void WindowRecording::pictureShown(const QSize& size) {
    if (recorder_ != nullptr) recorder_->pictureDecoded(size.width(), size.height());
}

void WindowRecording::end() {
    if (state_ == State::Off) return;
    std::string error;
    const bool ok = stop(error);
    emit ended(QString::fromStdString(path_), ok ? QString() : QString::fromStdString(error));
}

void WindowRecording::enter(State next) {
    state_ = next;
    StreamRecorder* writing = next == State::Recording ? recorder_.get() : nullptr;
    // Once detached from the decoder and the grid's feed, no thread is
    // inside the recorder any more: it may go with its file.
    if (channel_ < 0) {
        session_.setDecodeTap(writing);
        // The file begins at the first picture after its first key picture:
        // the GUI hears of every picture meanwhile, so a short recording
        // is not lost waiting for the next notice.
        output_.handOver().setEager(writing != nullptr);
    } else {
        views_.feed().setRecorder(writing != nullptr ? channel_ : -1, writing);
    }
    // While paused no picture shows: the window marks its logo instead.
    const bool marked = next != State::Off;
    views_.grid()->setRecordingMark(marked && channel_ >= 0);
    output_.setRecordingMark(marked);
    emit changed();
}

void WindowRecording::openFile(const std::string& path) {
    recorder_ = std::make_unique<StreamRecorder>(path);
    const auto& recorder = session_.recorder();
    const DeviceRecord* record = session_.record();
    recorder_->setCodec(codecForModel(recorder ? recorder->modelIndex : record->modelIndex.load()));
    path_ = path;
}

void WindowRecording::closeFile() {
    if (recorder_ == nullptr) return;
    const bool gotVideo = recorder_->packetsWritten() > 0;
    lastError_.clear();
    lastOk_ = recorder_->finish(lastError_);
    recorder_.reset();
    if (gotVideo) ++files_;
}

}  // namespace orvix
