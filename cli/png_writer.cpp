#include "cli/png_writer.h"

#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace orvix::cli {
namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool writePng(const std::string& path, const PictureView& picture, std::string& error) {
    if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0 ||
        picture.rowBytes < picture.width * 4) {
        error = "no picture to write";
        return false;
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr) {
        error = "this FFmpeg has no PNG encoder";
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecContextFree> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = "out of memory";
        return false;
    }
    context->width = picture.width;
    context->height = picture.height;
    context->pix_fmt = AV_PIX_FMT_RGB24;
    context->time_base = AVRational{1, 1};
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        error = "the PNG encoder cannot be opened";
        return false;
    }
    frame->width = picture.width;
    frame->height = picture.height;
    frame->format = AV_PIX_FMT_RGB24;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        error = "out of memory";
        return false;
    }
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* source = picture.pixels + static_cast<size_t>(y) * static_cast<size_t>(picture.rowBytes);
        uint8_t* target = frame->data[0] + static_cast<size_t>(y) * static_cast<size_t>(frame->linesize[0]);
        for (int x = 0; x < picture.width; ++x) {
            target[3 * x] = source[4 * x + 2];
            target[3 * x + 1] = source[4 * x + 1];
            target[3 * x + 2] = source[4 * x];
        }
    }
    if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_receive_packet(context.get(), packet.get()) < 0) {
        error = "the picture could not be encoded as PNG";
        return false;
    }
    std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    if (std::fwrite(packet->data, 1, static_cast<size_t>(packet->size), file.get()) !=
            static_cast<size_t>(packet->size) ||
        std::fclose(file.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace orvix::cli
