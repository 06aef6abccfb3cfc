#include "recording/mp4_writer.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

namespace orvix {
namespace {

constexpr AVRational kMillisecond{1, 1000};

}  // namespace

Mp4Writer::~Mp4Writer() {
    std::string ignored;
    finish(ignored);
}

bool Mp4Writer::open(const std::vector<Mp4Track>& tracks, std::string& error) {
    if (format_ != nullptr || tracks.empty()) {
        error = "no track to record";
        return false;
    }
    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", path_.c_str()) < 0 || format_ == nullptr) {
        error = "the MP4 muxer is not available";
        return false;
    }
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) {
        error = "out of memory";
        close();
        return false;
    }
    for (const Mp4Track& track : tracks) {
        AVStream* stream = avformat_new_stream(format_, nullptr);
        if (stream == nullptr || track.width <= 0 || track.height <= 0 || track.headers.empty()) {
            error = stream == nullptr ? "out of memory" : "a track has no picture size or stream header";
            close();
            return false;
        }
        stream->time_base = kMillisecond;
        AVCodecParameters* parameters = stream->codecpar;
        parameters->codec_type = AVMEDIA_TYPE_VIDEO;
        parameters->codec_id = track.codec == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
        parameters->width = track.width;
        parameters->height = track.height;
        parameters->format = AV_PIX_FMT_YUV420P;
        parameters->extradata =
            static_cast<uint8_t*>(av_mallocz(track.headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (parameters->extradata == nullptr) {
            error = "out of memory";
            close();
            return false;
        }
        std::memcpy(parameters->extradata, track.headers.data(), track.headers.size());
        parameters->extradata_size = static_cast<int>(track.headers.size());
    }
    if (avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE) < 0) {
        error = "cannot create " + path_;
        close();
        return false;
    }
    // The header holds no samples; each fragment carries its own index.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "delay_moov+default_base_moof", 0);
    av_dict_set_int(&options, "frag_duration", kMp4FragmentMicroseconds, 0);
    const int result = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = "cannot write the header of " + path_;
        close();
        return false;
    }
    avio_flush(format_->pb);
    held_.assign(tracks.size(), Held{});
    return true;
}

bool Mp4Writer::write(size_t track, const uint8_t* bytes, size_t length, int64_t milliseconds, bool key,
                      std::string& error) {
    if (format_ == nullptr || track >= held_.size()) return true;
    Held& h = held_[track];
    // Each packet of a track gets a later time than the one before.
    if (milliseconds <= h.lastTime) milliseconds = h.lastTime + 1;
    if (h.holding && !writeHeld(track, milliseconds - h.lastTime, error)) return false;
    h.lastTime = milliseconds;
    h.bytes.assign(bytes, bytes + length);
    h.milliseconds = milliseconds;
    h.key = key;
    h.holding = true;
    return true;
}

bool Mp4Writer::writeHeld(size_t track, int64_t duration, std::string& error) {
    Held& h = held_[track];
    h.holding = false;
    h.lastDuration = duration;
    if (av_new_packet(packet_, static_cast<int>(h.bytes.size())) < 0) {
        error = "out of memory";
        return false;
    }
    std::memcpy(packet_->data, h.bytes.data(), h.bytes.size());
    packet_->stream_index = static_cast<int>(track);
    packet_->pts = h.milliseconds;
    packet_->dts = h.milliseconds;
    packet_->duration = duration;
    packet_->flags = h.key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(packet_, kMillisecond, format_->streams[track]->time_base);
    // A fragment the muxer completes goes to the file now, not when the
    // output buffer fills.
    const int result = av_write_frame(format_, packet_);
    av_packet_unref(packet_);
    if (result >= 0) avio_flush(format_->pb);
    if (result < 0 || format_->pb->error < 0) {
        error = "cannot write to " + path_;
        return false;
    }
    ++written_;
    return true;
}

bool Mp4Writer::finish(std::string& error) {
    if (format_ == nullptr) return true;
    bool ok = true;
    for (size_t i = 0; i < held_.size() && ok; ++i) {
        if (held_[i].holding) ok = writeHeld(i, held_[i].lastDuration, error);
    }
    if (ok && av_write_trailer(format_) < 0) {
        error = "cannot finish " + path_;
        ok = false;
    }
    close();
    return ok;
}

void Mp4Writer::close() {
    if (format_ != nullptr) {
        if (format_->pb != nullptr) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    av_packet_free(&packet_);
    held_.clear();
}

}  // namespace orvix
