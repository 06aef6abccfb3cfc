#include "tests/support/recording_playback.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace orvix::test {

Playback play(const std::string& path) {
    Playback result;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return result;
    if (avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams > 0) {
        const AVCodecParameters* parameters = format->streams[0]->codecpar;
        result.codec = parameters->codec_id;
        const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
        AVCodecContext* context = avcodec_alloc_context3(decoder);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        if (avcodec_parameters_to_context(context, parameters) >= 0 && avcodec_open2(context, decoder, nullptr) >= 0) {
            auto drain = [&] {
                while (avcodec_receive_frame(context, frame) == 0) ++result.pictures;
            };
            while (av_read_frame(format, packet) >= 0) {
                if (packet->stream_index == 0 && avcodec_send_packet(context, packet) < 0) ++result.errors;
                av_packet_unref(packet);
                drain();
            }
            avcodec_send_packet(context, nullptr);
            drain();
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }
    avformat_close_input(&format);
    return result;
}

}  // namespace orvix::test
