#include "recording/stream_recorder.h"

#include "recording/elementary_stream.h"
#include "recording/recording_check.h"

namespace orvix {
namespace {

// What is held back until the first picture has decoded.
constexpr size_t kMaxPendingBytes = 16u << 20;

}  // namespace

StreamRecorder::StreamRecorder(std::string path, Clock clock)
    : path_(std::move(path)), clock_(std::move(clock)), writer_(path_) {}

StreamRecorder::~StreamRecorder() {
    std::string ignored;
    finish(ignored);
}

void StreamRecorder::setCodec(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (codec == codec_) return;
    if (codec_ != VideoCodec::None && open_) {
        // Packets of another codec would make the track unplayable: the file
        // keeps what came before the change.
        closeFile();
        endedAtChange_ = true;
    }
    // Nothing written yet: start again with the new codec's first key picture.
    started_ = false;
    pending_.clear();
    pendingBytes_ = 0;
    headers_.clear();
    codec_ = codec;
}

void StreamRecorder::decoderInput(const uint8_t* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_ || closed_ || codec_ == VideoCodec::None || bytes == nullptr || length == 0) return;
    if (!open_) {
        std::vector<uint8_t> headers = streamHeaders(codec_, bytes, length);
        if (!headers.empty()) headers_ = std::move(headers);
    }
    const bool key = isKeyPacket(codec_, bytes, length);
    const auto now = clock_();
    if (!started_) {
        if (!key) return;  // a file starts with a key picture
        started_ = true;
        start_ = now;
    }
    const int64_t milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    if (open_) {
        writePacket(bytes, length, milliseconds, key);
        return;
    }
    if (pendingBytes_ + length > kMaxPendingBytes) {
        fail("no picture decoded from the received video");
        return;
    }
    pending_.push_back(Pending{std::vector<uint8_t>(bytes, bytes + length), milliseconds, key});
    pendingBytes_ += length;
}

void StreamRecorder::pictureDecoded(int width, int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_ || closed_ || failed_ || pending_.empty()) return;
    if (!openFile(width, height)) return;
    for (const Pending& p : pending_) writePacket(p.bytes.data(), p.bytes.size(), p.milliseconds, p.key);
    pending_.clear();
    pendingBytes_ = 0;
}

bool StreamRecorder::openFile(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    // The stream headers describe the stream to players (for raw H.264 these
    // are the parameter sets the client used): those of the first key
    // picture, else the last ones that came before it. Without any, no
    // player could decode the file.
    const Pending& first = pending_.front();
    Mp4Track track{codec_, width, height, streamHeaders(codec_, first.bytes.data(), first.bytes.size())};
    if (track.headers.empty()) track.headers = headers_;
    if (track.headers.empty()) {
        fail("no stream header arrived, so the video could not be played");
        return false;
    }
    std::string error;
    if (!writer_.open({track}, error)) {
        fail(error);
        return false;
    }
    open_ = true;
    return true;
}

void StreamRecorder::writePacket(const uint8_t* bytes, size_t length, int64_t milliseconds, bool key) {
    std::string error;
    if (!failed_ && open_ && !writer_.write(0, bytes, length, milliseconds, key, error)) fail(error);
}

void StreamRecorder::fail(std::string reason) {
    if (!failed_) error_ = std::move(reason);
    failed_ = true;
    pending_.clear();
    pendingBytes_ = 0;
}

void StreamRecorder::closeFile() {
    if (!open_) return;
    std::string error;
    if (!writer_.finish(error)) fail(error);
    written_ = writer_.packetsWritten();
    closed_ = true;
    open_ = false;
}

bool StreamRecorder::finish(std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    closeFile();
    if (!failed_ && !closed_ && written_ == 0) fail("no video was received to record");
    if (!failed_ && closed_ && !checked_) {
        checked_ = true;
        std::string unplayable;
        if (!hasPlayableVideo(path_, unplayable)) fail(unplayable);
    }
    error = error_;
    return !failed_;
}

int StreamRecorder::packetsWritten() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_ ? writer_.packetsWritten() : written_;
}

bool StreamRecorder::fileBegun() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_ || closed_;
}

bool StreamRecorder::endedAtCodecChange() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endedAtChange_;
}

}  // namespace orvix
