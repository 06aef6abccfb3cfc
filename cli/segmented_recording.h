// --record across reconnects: one StreamRecorder per connection, the first
// at NAME.mp4, then NAME-2.mp4, NAME-3.mp4, ... Each file is a whole,
// playable recording of its own: a new connection starts at a key picture
// with a decoder opened afresh, which one file cannot join seamlessly.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/decode_tap.h"
#include "media/video_codec.h"
#include "recording/stream_recorder.h"
#include "session/segment_path.h"

namespace orvix::cli {

class SegmentedRecording final : public DecodeTap {
public:
    explicit SegmentedRecording(std::string path);

    // Any thread: the codec of the connection (kept for later segments).
    void setCodec(VideoCodec codec);
    // Loop thread, when the connection was lost: what comes next goes to a
    // new file. A segment that has recorded nothing yet is kept for it, so
    // the numbers have no gaps.
    void nextSegment();

    // Display thread: forwarded to the current segment.
    void decoderInput(const uint8_t* bytes, size_t length) override;
    void pictureDecoded(int width, int height);

    // Finishes every segment (see StreamRecorder::finish). False with the
    // first error; a last segment that recorded nothing after a reconnect
    // is no error and leaves no file.
    bool finish(std::string& error);
    bool endedAtCodecChange() const;
    // The files written, in order (after finish()).
    std::vector<std::string> files() const;

private:
    const std::string path_;
    mutable std::mutex mutex_;
    VideoCodec codec_ = VideoCodec::None;
    std::vector<std::unique_ptr<StreamRecorder>> segments_;
    std::vector<std::string> paths_;
};

}  // namespace orvix::cli
