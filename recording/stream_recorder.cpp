#include "recording/stream_recorder.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "recording/elementary_stream.h"
#include "recording/recording_check.h"

namespace orvix {
namespace {

// What is held back until the first picture has decoded.
constexpr size_t kMaxPendingBytes = 16u << 20;
constexpr AVRational kMillisecond{1, 1000};

}  // namespace

StreamRecorder::StreamRecorder(std::string path) : path_(std::move(path)) {}

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
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
        if (!key) return;  // a file starts with a key picture
        started_ = true;
        start_ = now;
    }
    const int64_t milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    if (open_) {
        queuePacket(bytes, length, milliseconds, key);
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
    for (const Pending& p : pending_) queuePacket(p.bytes.data(), p.bytes.size(), p.milliseconds, p.key);
    pending_.clear();
    pendingBytes_ = 0;
}

bool StreamRecorder::openFile(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    AVCodecID codecId = codec_ == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
    // The stream headers describe the stream to players (for raw H.264 these
    // are the parameter sets the client used): those of the first key
    // picture, else the last ones that came before it. Without any, no
    // player could decode the file.
    const Pending& first = pending_.front();
    std::vector<uint8_t> headers = streamHeaders(codec_, first.bytes.data(), first.bytes.size());
    if (headers.empty()) headers = headers_;
    if (headers.empty()) {
        fail("no stream header arrived, so the video could not be played");
        return false;
    }
    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", path_.c_str()) < 0 || format_ == nullptr) {
        fail("the MP4 muxer is not available");
        return false;
    }
    AVStream* stream = avformat_new_stream(format_, nullptr);
    packet_ = av_packet_alloc();
    if (stream == nullptr || packet_ == nullptr) {
        fail("out of memory");
        return false;
    }
    stream->time_base = kMillisecond;
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = codecId;
    parameters->width = width;
    parameters->height = height;
    parameters->format = AV_PIX_FMT_YUV420P;
    parameters->extradata = static_cast<uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata == nullptr) {
        fail("out of memory");
        return false;
    }
    std::memcpy(parameters->extradata, headers.data(), headers.size());
    parameters->extradata_size = static_cast<int>(headers.size());
    if (avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE) < 0) {
        fail("cannot create " + path_);
        return false;
    }
    if (avformat_write_header(format_, nullptr) < 0) {
        fail("cannot write the header of " + path_);
        return false;
    }
    open_ = true;
    return true;
}

void StreamRecorder::queuePacket(const uint8_t* bytes, size_t length, int64_t milliseconds, bool key) {
    // Each packet gets a later time than the one before, whatever the clock.
    if (milliseconds <= lastTime_) milliseconds = lastTime_ + 1;
    if (holding_) writeHeld(milliseconds - lastTime_);
    lastTime_ = milliseconds;
    held_.bytes.assign(bytes, bytes + length);
    held_.milliseconds = milliseconds;
    held_.key = key;
    holding_ = true;
}

void StreamRecorder::writeHeld(int64_t duration) {
    holding_ = false;
    if (failed_ || !open_) return;
    lastDuration_ = duration;
    if (av_new_packet(packet_, static_cast<int>(held_.bytes.size())) < 0) {
        fail("out of memory");
        return;
    }
    std::memcpy(packet_->data, held_.bytes.data(), held_.bytes.size());
    packet_->stream_index = 0;
    packet_->pts = held_.milliseconds;
    packet_->dts = held_.milliseconds;
    packet_->duration = duration;
    packet_->flags = held_.key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(packet_, kMillisecond, format_->streams[0]->time_base);
    const int result = av_write_frame(format_, packet_);
    av_packet_unref(packet_);
    if (result < 0) {
        fail("cannot write to " + path_);
        return;
    }
    ++written_;
}

void StreamRecorder::fail(std::string reason) {
    if (!failed_) error_ = std::move(reason);
    failed_ = true;
    pending_.clear();
    pendingBytes_ = 0;
}

void StreamRecorder::closeFile() {
    if (holding_) writeHeld(lastDuration_);
    if (format_ != nullptr) {
        if (open_ && av_write_trailer(format_) < 0) fail("cannot finish " + path_);
        if (format_->pb != nullptr) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    av_packet_free(&packet_);
    if (open_) closed_ = true;
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
    return written_;
}

bool StreamRecorder::endedAtCodecChange() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endedAtChange_;
}

}  // namespace orvix
