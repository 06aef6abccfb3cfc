#include "tests/support/test_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "media/parameter_sets.h"
#include "tools/encoder/h264_bitstream.h"
#include "tools/encoder/video_encoder.h"

namespace orvix::test {

RgbImage patternImage(int width, int height, int index) {
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    const int blockX = (index * 8) % std::max(1, width - 32);
    const int blockY = (index * 4) % std::max(1, height - 32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.bgra.data() + (static_cast<size_t>(y) * width + x) * 4;
            const bool inBlock = x >= blockX && x < blockX + 32 && y >= blockY && y < blockY + 32;
            p[0] = static_cast<uint8_t>(inBlock ? 240 : (x * 255) / std::max(1, width - 1));
            p[1] = static_cast<uint8_t>(inBlock ? 40 : (y * 255) / std::max(1, height - 1));
            p[2] = static_cast<uint8_t>(inBlock ? 30 : ((x + y) * 2 + index * 3) & 0xFF);
            p[3] = 255;
        }
    }
    return image;
}

RgbImage solidImage(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    for (size_t i = 0; i < image.bgra.size(); i += 4) {
        image.bgra[i] = blue;
        image.bgra[i + 1] = green;
        image.bgra[i + 2] = red;
        image.bgra[i + 3] = 255;
    }
    return image;
}

namespace {

void collectPackets(AVCodecContext* context, AVPacket* packet, EncodedStream& out) {
    while (avcodec_receive_packet(context, packet) == 0) {
        out.packets.emplace_back(packet->data, packet->data + packet->size);
        out.keys.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(packet);
    }
}

}  // namespace

EncodedStream encodeImages(const std::string& encoder, const std::vector<RgbImage>& images, int keyInterval) {
    EncodedStream out;
    if (images.empty()) return out;
    const int width = images.front().width;
    const int height = images.front().height;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    EXPECT_NE(codec, nullptr) << encoder;
    if (codec == nullptr) return out;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->time_base = AVRational{1, 25};
    context->framerate = AVRational{25, 1};
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->gop_size = keyInterval;
    context->max_b_frames = 0;
    context->thread_count = 1;
    if (encoder == "libx264") {
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(context->priv_data, "profile", "baseline", 0);
        av_opt_set(context->priv_data, "crf", "16", 0);
        av_opt_set(context->priv_data, "x264-params", "keyint_min=1:scenecut=0", 0);
        av_opt_set(context->priv_data, "forced-idr", "1", 0);
    } else {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * 2;
    }
    const int opened = avcodec_open2(context, codec, nullptr);
    EXPECT_GE(opened, 0) << encoder;

    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    SwsContext* toYuv = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P,
                                       SWS_BICUBIC, nullptr, nullptr, nullptr);
    AVPacket* packet = av_packet_alloc();
    for (size_t i = 0; opened >= 0 && i < images.size(); ++i) {
        av_frame_make_writable(frame);
        const uint8_t* source[1] = {images[i].bgra.data()};
        const int sourceStride[1] = {width * 4};
        sws_scale(toYuv, source, sourceStride, 0, height, frame->data, frame->linesize);
        frame->pts = static_cast<int64_t>(i);
        frame->pict_type = (i % static_cast<size_t>(keyInterval)) == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        EXPECT_GE(avcodec_send_frame(context, frame), 0);
        collectPackets(context, packet, out);
    }
    avcodec_send_frame(context, nullptr);
    collectPackets(context, packet, out);
    EXPECT_EQ(out.packets.size(), images.size()) << encoder << " gave a packet count of its own";

    av_packet_free(&packet);
    sws_freeContext(toYuv);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return out;
}

EncodedStream encodePattern(const std::string& encoder, int width, int height, int count, int keyInterval,
                            int firstIndex) {
    std::vector<RgbImage> images;
    for (int i = 0; i < count; ++i) images.push_back(patternImage(width, height, firstIndex + i));
    return encodeImages(encoder, images, keyInterval);
}

EncodedStream encodeRawPattern(int standardBit, int resolutionCode, int count, int keyInterval, int firstIndex) {
    EncodedStream out;
    const RawParameterSet* set = rawParameterSet(standardBit, resolutionCode);
    EXPECT_NE(set, nullptr);
    if (set == nullptr) return out;
    media::EncoderSettings settings;
    settings.codec = media::Codec::H264;
    settings.width = set->width;
    settings.height = set->height;
    settings.keyInterval = keyInterval;
    settings.bitRate = 4000000;
    settings.fixedParameterSets = true;
    settings.videoStandardBit = standardBit;
    settings.resolutionCode = resolutionCode;
    media::VideoEncoder encoder;
    std::string error;
    EXPECT_TRUE(encoder.open(settings, &error)) << error;
    if (!encoder.isOpen()) return out;
    for (int i = 0; i < count; ++i) {
        const RgbImage image = patternImage(set->width, set->height, firstIndex + i);
        media::EncodedPicture picture;
        EXPECT_TRUE(encoder.encode(image.bgra.data(), set->width * 4, picture)) << encoder.lastError();
        out.packets.push_back(picture.bytes);
        out.keys.push_back(picture.key);
    }
    return out;
}

Packet h264KeyPictureOfSize(int widthMbs, int heightMbs, int codedMbs) {
    using media::BitWriter;
    Packet out;
    BitWriter sps;
    sps.writeBits(66, 8);  // Baseline
    sps.writeBits(0, 8);   // constraint flags
    sps.writeBits(51, 8);  // level 5.1
    sps.writeUe(0);        // seq_parameter_set_id
    sps.writeUe(0);        // log2_max_frame_num_minus4
    sps.writeUe(2);        // pic_order_cnt_type
    sps.writeUe(1);        // max_num_ref_frames
    sps.writeBit(0);       // gaps_in_frame_num_value_allowed_flag
    sps.writeUe(static_cast<uint32_t>(widthMbs - 1));
    sps.writeUe(static_cast<uint32_t>(heightMbs - 1));
    sps.writeBit(1);  // frame_mbs_only_flag
    sps.writeBit(1);  // direct_8x8_inference_flag
    sps.writeBit(0);  // frame_cropping_flag
    sps.writeBit(0);  // vui_parameters_present_flag
    sps.writeTrailingBits();
    media::appendNalUnit(0x67, sps.bytes(), out);

    BitWriter pps;
    pps.writeUe(0);       // pic_parameter_set_id
    pps.writeUe(0);       // seq_parameter_set_id
    pps.writeBit(0);      // CAVLC
    pps.writeBit(0);      // bottom_field_pic_order_in_frame_present_flag
    pps.writeUe(0);       // one slice group
    pps.writeUe(0);       // num_ref_idx_l0_default_active_minus1
    pps.writeUe(0);       // num_ref_idx_l1_default_active_minus1
    pps.writeBit(0);      // weighted_pred_flag
    pps.writeBits(0, 2);  // weighted_bipred_idc
    pps.writeSe(0);       // pic_init_qp_minus26
    pps.writeSe(0);       // pic_init_qs_minus26
    pps.writeSe(0);       // chroma_qp_index_offset
    pps.writeBit(1);      // deblocking_filter_control_present_flag
    pps.writeBit(0);      // constrained_intra_pred_flag
    pps.writeBit(0);      // redundant_pic_cnt_present_flag
    pps.writeTrailingBits();
    media::appendNalUnit(0x68, pps.bytes(), out);

    BitWriter slice;
    slice.writeUe(0);       // first_mb_in_slice
    slice.writeUe(7);       // I slice, all slices of the picture
    slice.writeUe(0);       // pic_parameter_set_id
    slice.writeBits(0, 4);  // frame_num
    slice.writeUe(0);       // idr_pic_id
    slice.writeBit(0);      // no_output_of_prior_pics_flag
    slice.writeBit(0);      // long_term_reference_flag
    slice.writeSe(0);       // slice_qp_delta
    slice.writeUe(1);       // deblocking off
    for (int i = 0; i < codedMbs; ++i) {
        slice.writeUe(3);   // I_16x16, DC prediction, no coded blocks
        slice.writeUe(0);   // chroma DC prediction
        slice.writeSe(0);   // mb_qp_delta
        slice.writeBit(1);  // luma DC block: no coefficients
    }
    slice.writeTrailingBits();
    media::appendNalUnit(0x65, slice.bytes(), out);
    return out;
}

Packet withParameterSet(int standardBit, int resolutionCode, const Packet& packet) {
    const RawParameterSet* set = rawParameterSet(standardBit, resolutionCode);
    Packet out(set->bytes, set->bytes + set->length);
    out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

std::vector<RgbImage> referenceDecode(const std::string& decoder, const std::vector<Packet>& packets) {
    std::vector<RgbImage> out;
    const AVCodec* codec = avcodec_find_decoder_by_name(decoder.c_str());
    EXPECT_NE(codec, nullptr) << decoder;
    if (codec == nullptr) return out;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    EXPECT_GE(avcodec_open2(context, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    RgbImage last;
    for (const Packet& bytes : packets) {
        av_new_packet(packet, static_cast<int>(bytes.size()));
        std::memcpy(packet->data, bytes.data(), bytes.size());
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            RgbImage image{frame->width, frame->height,
                           std::vector<uint8_t>(static_cast<size_t>(frame->width) * frame->height * 4)};
            SwsContext* toRgb = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                               frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr,
                                               nullptr, nullptr);
            uint8_t* destination[1] = {image.bgra.data()};
            const int destinationStride[1] = {frame->width * 4};
            sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, destination, destinationStride);
            sws_freeContext(toRgb);
            last = std::move(image);
            av_frame_unref(frame);
        }
        out.push_back(last);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return out;
}

double psnr(const RgbImage& a, const uint8_t* b, int width, int height) {
    if (b == nullptr || a.width != width || a.height != height || width <= 0 || height <= 0) return 0;
    double squared = 0;
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
            const double d = static_cast<double>(a.bgra[i * 4 + c]) - static_cast<double>(b[i * 4 + c]);
            squared += d * d;
        }
    }
    if (squared == 0) return 100;
    const double mse = squared / (static_cast<double>(pixels) * 3);
    return 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace orvix::test
