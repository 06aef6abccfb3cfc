#include "recording/recording_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace orvix {
namespace {

// Frees whatever was opened, in any state.
struct Reader {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();

    ~Reader() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool received() { return avcodec_receive_frame(codec, frame) == 0; }
};

}  // namespace

bool hasPlayableVideo(const std::string& path, std::string& error) {
    Reader r;
    if (r.packet == nullptr || r.frame == nullptr) {
        error = "out of memory";
        return false;
    }
    if (avformat_open_input(&r.format, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot read " + path + " back";
        return false;
    }
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(r.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    error = path + " holds no playable video";
    if (stream < 0 || decoder == nullptr) return false;
    r.codec = avcodec_alloc_context3(decoder);
    if (r.codec == nullptr ||
        avcodec_parameters_to_context(r.codec, r.format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(r.codec, decoder, nullptr) < 0) {
        return false;
    }
    while (av_read_frame(r.format, r.packet) >= 0) {
        const bool ours = r.packet->stream_index == stream;
        const bool sent = ours && avcodec_send_packet(r.codec, r.packet) >= 0;
        av_packet_unref(r.packet);
        if (sent && r.received()) {
            error.clear();
            return true;
        }
    }
    // A decoder that holds pictures back gives them at the end.
    avcodec_send_packet(r.codec, nullptr);
    if (r.received()) {
        error.clear();
        return true;
    }
    return false;
}

}  // namespace orvix
