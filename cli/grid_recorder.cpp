#include "cli/grid_recorder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "recording/elementary_stream.h"
#include "recording/recording_check.h"

namespace orvix::cli {
namespace {

// What may wait, over all channels, for the last channel's first picture.
constexpr size_t kMaxPendingBytes = 64u << 20;
constexpr AVRational kMillisecond{1, 1000};

// The video tracks a finished file holds; -1 when it cannot be read.
int videoTracks(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
    int count = -1;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        count = 0;
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++count;
        }
    }
    avformat_close_input(&format);
    return count;
}

}  // namespace

GridRecorder::GridRecorder(std::string path, const ChannelSet& channels) : path_(std::move(path)) {
    for (int i = 0; i < channels.size(); ++i) {
        Track t;
        t.channel = channels.at(i);
        tracks_.push_back(std::move(t));
    }
}

GridRecorder::~GridRecorder() {
    std::string ignored;
    finish(ignored);
}

void GridRecorder::setCodec(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    // One codec per file: a recorder that changes codec before the file is
    // open starts the tracks again with the new one.
    if (open_ || codec == codec_) return;
    codec_ = codec;
    for (Track& t : tracks_) {
        t.started = false;
        t.headers.clear();
        t.pending.clear();
    }
    pendingBytes_ = 0;
}

GridRecorder::Track* GridRecorder::track(int channel) {
    for (Track& t : tracks_) {
        if (t.channel == channel) return &t;
    }
    return nullptr;
}

void GridRecorder::packet(int channel, const AccessUnit& unit) {
    std::lock_guard<std::mutex> lock(mutex_);
    Track* t = track(channel);
    if (t == nullptr || failed_ || finished_ || codec_ == VideoCodec::None || unit.length() == 0) return;
    Held p;
    p.bytes.reserve(unit.length());
    if (unit.parameterSet != nullptr) p.bytes.insert(p.bytes.end(), unit.parameterSet, unit.parameterSet + unit.parameterSetLength);
    p.bytes.insert(p.bytes.end(), unit.payload, unit.payload + unit.payloadLength);
    p.key = isKeyPacket(codec_, p.bytes.data(), p.bytes.size());
    if (!t->started) {
        if (!p.key) return;  // a track starts with a key picture
        std::vector<uint8_t> headers = streamHeaders(codec_, p.bytes.data(), p.bytes.size());
        if (headers.empty()) return;
        t->headers = std::move(headers);
        t->started = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!anyStarted_) {
        anyStarted_ = true;
        start_ = now;
    }
    p.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    const size_t index = static_cast<size_t>(t - tracks_.data());
    if (open_) {
        queue(index, std::move(p));
        return;
    }
    pendingBytes_ += p.bytes.size();
    if (pendingBytes_ > kMaxPendingBytes) {
        fail("not every channel gave a picture to record");
        return;
    }
    t->pending.push_back(std::move(p));
    openWhenReady();
}

void GridRecorder::pictureDecoded(int channel, int width, int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    Track* t = track(channel);
    if (t == nullptr || open_ || failed_ || t->width != 0) return;
    t->width = width;
    t->height = height;
    openWhenReady();
}

void GridRecorder::openWhenReady() {
    for (const Track& t : tracks_) {
        if (!t.started || t.width <= 0 || t.height <= 0) return;
    }
    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", path_.c_str()) < 0 || format_ == nullptr) {
        fail("the MP4 muxer is not available");
        return;
    }
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) return fail("out of memory");
    for (const Track& t : tracks_) {
        AVStream* stream = avformat_new_stream(format_, nullptr);
        if (stream == nullptr) return fail("out of memory");
        stream->time_base = kMillisecond;
        AVCodecParameters* parameters = stream->codecpar;
        parameters->codec_type = AVMEDIA_TYPE_VIDEO;
        parameters->codec_id = codec_ == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
        parameters->width = t.width;
        parameters->height = t.height;
        parameters->format = AV_PIX_FMT_YUV420P;
        parameters->extradata = static_cast<uint8_t*>(av_mallocz(t.headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (parameters->extradata == nullptr) return fail("out of memory");
        std::memcpy(parameters->extradata, t.headers.data(), t.headers.size());
        parameters->extradata_size = static_cast<int>(t.headers.size());
    }
    if (avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE) < 0) return fail("cannot create " + path_);
    if (avformat_write_header(format_, nullptr) < 0) return fail("cannot write the header of " + path_);
    open_ = true;
    // What waited goes out in arrival order over all tracks.
    std::vector<std::pair<size_t, Held>> waiting;
    for (size_t i = 0; i < tracks_.size(); ++i) {
        for (Held& p : tracks_[i].pending) waiting.emplace_back(i, std::move(p));
        tracks_[i].pending.clear();
    }
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const auto& a, const auto& b) { return a.second.milliseconds < b.second.milliseconds; });
    for (auto& [index, p] : waiting) queue(index, std::move(p));
    pendingBytes_ = 0;
}

void GridRecorder::queue(size_t index, Held p) {
    Track& t = tracks_[index];
    // Each packet of a track gets a later time than the one before.
    if (p.milliseconds <= t.lastTime) p.milliseconds = t.lastTime + 1;
    if (t.holding) writeHeld(index, p.milliseconds - t.lastTime);
    t.lastTime = p.milliseconds;
    t.held = std::move(p);
    t.holding = true;
}

void GridRecorder::writeHeld(size_t index, int64_t duration) {
    Track& t = tracks_[index];
    t.holding = false;
    if (failed_ || !open_) return;
    t.lastDuration = duration;
    if (av_new_packet(packet_, static_cast<int>(t.held.bytes.size())) < 0) return fail("out of memory");
    std::memcpy(packet_->data, t.held.bytes.data(), t.held.bytes.size());
    packet_->stream_index = static_cast<int>(index);
    packet_->pts = t.held.milliseconds;
    packet_->dts = t.held.milliseconds;
    packet_->duration = duration;
    packet_->flags = t.held.key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(packet_, kMillisecond, format_->streams[index]->time_base);
    const int result = av_interleaved_write_frame(format_, packet_);
    av_packet_unref(packet_);
    if (result < 0) fail("cannot write to " + path_);
}

void GridRecorder::fail(std::string reason) {
    if (!failed_) error_ = std::move(reason);
    failed_ = true;
    for (Track& t : tracks_) t.pending.clear();
    pendingBytes_ = 0;
}

bool GridRecorder::finish(std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) {
        error = error_;
        return !failed_;
    }
    finished_ = true;
    if (open_) {
        for (size_t i = 0; i < tracks_.size(); ++i) {
            if (tracks_[i].holding) writeHeld(i, tracks_[i].lastDuration);
        }
        if (av_write_trailer(format_) < 0) fail("cannot finish " + path_);
    } else if (!failed_) {
        for (const Track& t : tracks_) {
            if (!t.started || t.width <= 0) {
                fail("channel " + std::to_string(t.channel + 1) + " gave no video to record");
                break;
            }
        }
    }
    if (format_ != nullptr) {
        if (format_->pb != nullptr) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    av_packet_free(&packet_);
    if (open_ && !failed_) {
        std::string unplayable;
        const int tracks = videoTracks(path_);
        if (tracks != static_cast<int>(tracks_.size())) {
            fail("the recording holds " + std::to_string(tracks) + " video tracks, not " +
                 std::to_string(tracks_.size()));
        } else if (!hasPlayableVideo(path_, unplayable)) {
            fail(unplayable);
        }
    }
    error = error_;
    return !failed_;
}

}  // namespace orvix::cli
