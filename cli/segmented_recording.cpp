#include "cli/segmented_recording.h"

namespace orvix::cli {

SegmentedRecording::SegmentedRecording(std::string path) : path_(std::move(path)) {
    segments_.push_back(std::make_unique<StreamRecorder>(path_));
    paths_.push_back(path_);
}

void SegmentedRecording::setCodec(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    codec_ = codec;
    segments_.back()->setCodec(codec);
}

void SegmentedRecording::nextSegment() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (segments_.back()->packetsWritten() == 0) return;
    const std::string path = segmentPath(path_, static_cast<int>(segments_.size()) + 1);
    segments_.push_back(std::make_unique<StreamRecorder>(path));
    paths_.push_back(path);
    if (codec_ != VideoCodec::None) segments_.back()->setCodec(codec_);
}

void SegmentedRecording::decoderInput(const uint8_t* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    segments_.back()->decoderInput(bytes, length);
}

void SegmentedRecording::pictureDecoded(int width, int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    segments_.back()->pictureDecoded(width, height);
}

bool SegmentedRecording::finish(std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool ok = true;
    for (size_t i = 0; i < segments_.size(); ++i) {
        StreamRecorder& segment = *segments_[i];
        const bool emptyLater = i > 0 && i + 1 == segments_.size() && segment.packetsWritten() == 0;
        std::string failure;
        if (!segment.finish(failure) && !emptyLater && ok) {
            ok = false;
            error = segments_.size() > 1 ? paths_[i] + ": " + failure : failure;
        }
        if (emptyLater) {
            segments_.pop_back();
            paths_.pop_back();
            break;
        }
    }
    return ok;
}

bool SegmentedRecording::endedAtCodecChange() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& segment : segments_) {
        if (segment->endedAtCodecChange()) return true;
    }
    return false;
}

std::vector<std::string> SegmentedRecording::files() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_;
}

}  // namespace orvix::cli
