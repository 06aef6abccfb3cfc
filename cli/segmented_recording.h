// --record as a series of files: the first at NAME.mp4, then NAME-2.mp4,
// NAME-3.mp4, ... A new file begins after each reconnect and where the
// recorder changes codec. Each file is a whole, playable recording of its
// own: a new connection starts at a key picture with a decoder opened
// afresh, and one file holds one codec.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/grid_recorder.h"
#include "core/channel_set.h"
#include "media/access_unit.h"
#include "media/decode_tap.h"
#include "media/video_codec.h"
#include "recording/stream_recorder.h"
#include "session/segment_path.h"

namespace orvix::cli {

// The files of one --record: `Recorder` is StreamRecorder (one channel) or
// GridRecorder (several), made for each path by `make`.
template <typename Recorder>
class RecordingSegments {
public:
    using Make = std::function<std::unique_ptr<Recorder>(const std::string& path)>;

    RecordingSegments(std::string path, Make make) : path_(std::move(path)), make_(std::move(make)) {
        segments_.push_back(make_(path_));
        paths_.push_back(path_);
    }

    // Any thread: the codec of the connection (kept for later files). A
    // different codec ends a file already begun; what follows goes to the
    // next file.
    void setCodec(VideoCodec codec) {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool endsFile = codec_ != VideoCodec::None && codec != codec_ && segments_.back()->fileBegun();
        codec_ = codec;
        segments_.back()->setCodec(codec);  // ends a file begun with the other codec
        if (endsFile) startNext();
    }

    // Loop thread, when the connection was lost: what comes next goes to a
    // new file. A file not begun yet is kept for it, so the numbers have no
    // gaps.
    void nextSegment() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (segments_.back()->fileBegun()) startNext();
    }

    // Calls `use` with the current file's recorder, under the lock.
    template <typename Use>
    void withCurrent(Use use) {
        std::lock_guard<std::mutex> lock(mutex_);
        use(*segments_.back());
    }

    // Finishes every file (see the recorder's finish()). False with the
    // first error; a last file that recorded nothing after a reconnect or a
    // codec change is no error and leaves no file.
    bool finish(std::string& error) {
        std::lock_guard<std::mutex> lock(mutex_);
        bool ok = true;
        for (size_t i = 0; i < segments_.size(); ++i) {
            Recorder& segment = *segments_[i];
            const bool emptyLater = i > 0 && i + 1 == segments_.size() && !segment.fileBegun();
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

    bool endedAtCodecChange() const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& segment : segments_) {
            if (segment->endedAtCodecChange()) return true;
        }
        return false;
    }

    // The files written, in order (after finish()).
    std::vector<std::string> files() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return paths_;
    }

private:
    void startNext() {
        const std::string path = segmentPath(path_, static_cast<int>(segments_.size()) + 1);
        segments_.push_back(make_(path));
        paths_.push_back(path);
        if (codec_ != VideoCodec::None) segments_.back()->setCodec(codec_);
    }

    const std::string path_;
    const Make make_;
    mutable std::mutex mutex_;
    VideoCodec codec_ = VideoCodec::None;
    std::vector<std::unique_ptr<Recorder>> segments_;
    std::vector<std::string> paths_;
};

// One channel: the packets the decoder is given.
class SegmentedRecording final : public DecodeTap, public RecordingSegments<StreamRecorder> {
public:
    explicit SegmentedRecording(std::string path)
        : RecordingSegments(std::move(path), [](const std::string& p) { return std::make_unique<StreamRecorder>(p); }) {}

    // Display thread: forwarded to the current file.
    void decoderInput(const uint8_t* bytes, size_t length) override {
        withCurrent([&](StreamRecorder& r) { r.decoderInput(bytes, length); });
    }
    void pictureDecoded(int width, int height) {
        withCurrent([&](StreamRecorder& r) { r.pictureDecoded(width, height); });
    }
};

// Several channels: one track each, from the decode workers.
class SegmentedGridRecording final : public RecordingSegments<GridRecorder> {
public:
    SegmentedGridRecording(std::string path, const ChannelSet& channels)
        : RecordingSegments(std::move(path), [channels](const std::string& p) {
              return std::make_unique<GridRecorder>(p, channels);
          }) {}

    // Decode workers: forwarded to the current file.
    void packet(int channel, const AccessUnit& unit) {
        withCurrent([&](GridRecorder& r) { r.packet(channel, unit); });
    }
    void pictureSize(int channel, int width, int height) {
        withCurrent([&](GridRecorder& r) { r.pictureSize(channel, width, height); });
    }
};

}  // namespace orvix::cli
