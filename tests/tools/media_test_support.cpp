#include "tests/tools/media_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace orvix::test {

std::vector<uint8_t> movingPattern(int width, int height, int frameIndex) {
    static const auto wave = [] {
        std::vector<int> table(256);
        for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = static_cast<int>(90.0 * std::sin(i * 2.0 * M_PI / 256.0));
        return table;
    }();
    std::vector<uint8_t> picture(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    const int boxSize = height / 4;
    const int boxX = (frameIndex * 7) % (width - boxSize);
    const int boxY = (frameIndex * 3) % (height - boxSize);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        for (int x = 0; x < width; ++x) {
            int b = 128 + wave[static_cast<size_t>((x + 3 * frameIndex) & 255)];
            int g = 128 + wave[static_cast<size_t>((y * 2 + frameIndex) & 255)];
            int r = 128 + wave[static_cast<size_t>((x + y + 5 * frameIndex) & 255)];
            if (x >= boxX && x < boxX + boxSize && y >= boxY && y < boxY + boxSize) {
                // A bright square whose edge fades over a few pixels.
                const int edge = std::min(std::min(x - boxX, boxX + boxSize - 1 - x),
                                          std::min(y - boxY, boxY + boxSize - 1 - y));
                const int weight = std::min(edge, 4);
                r += (230 - r) * weight / 4;
                g += (220 - g) * weight / 4;
                b += (40 - b) * weight / 4;
            }
            row[x * 4 + 0] = static_cast<uint8_t>(b);
            row[x * 4 + 1] = static_cast<uint8_t>(g);
            row[x * 4 + 2] = static_cast<uint8_t>(r);
            row[x * 4 + 3] = 0;
        }
    }
    return picture;
}

TestDecoder::TestDecoder(int codecId) {
    const AVCodec* codec = avcodec_find_decoder(static_cast<AVCodecID>(codecId));
    if (codec == nullptr) throw std::runtime_error("no decoder");
    context_ = avcodec_alloc_context3(codec);
    context_->thread_count = 1;
    if (avcodec_open2(context_, codec, nullptr) < 0) throw std::runtime_error("decoder does not open");
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
}

TestDecoder::~TestDecoder() {
    sws_freeContext(scaler_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

bool TestDecoder::decode(const std::vector<uint8_t>& packet, std::vector<DecodedPicture>& out) {
    if (av_new_packet(packet_, static_cast<int>(packet.size())) < 0) return false;
    std::memcpy(packet_->data, packet.data(), packet.size());
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) return false;
    receive(out);
    return true;
}

void TestDecoder::flush(std::vector<DecodedPicture>& out) {
    avcodec_send_packet(context_, nullptr);
    receive(out);
}

void TestDecoder::receive(std::vector<DecodedPicture>& out) {
    while (avcodec_receive_frame(context_, frame_) == 0) {
        DecodedPicture picture;
        picture.width = frame_->width;
        picture.height = frame_->height;
        const int chromaWidth = (frame_->width + 1) / 2;
        const int chromaHeight = (frame_->height + 1) / 2;
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane == 0 ? frame_->width : chromaWidth;
            const int h = plane == 0 ? frame_->height : chromaHeight;
            for (int y = 0; y < h; ++y) {
                const uint8_t* row = frame_->data[plane] + static_cast<ptrdiff_t>(y) * frame_->linesize[plane];
                picture.yuv.insert(picture.yuv.end(), row, row + w);
            }
        }
        picture.bgrx.resize(static_cast<size_t>(frame_->width) * static_cast<size_t>(frame_->height) * 4);
        scaler_ = sws_getCachedContext(scaler_, frame_->width, frame_->height,
                                       static_cast<AVPixelFormat>(frame_->format), frame_->width, frame_->height,
                                       AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
        uint8_t* planes[1] = {picture.bgrx.data()};
        const int strides[1] = {frame_->width * 4};
        sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
        av_frame_unref(frame_);
        out.push_back(std::move(picture));
    }
}

double psnrBgrx(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    double squares = 0.0;
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        squares += d * d;
        ++count;
    }
    if (squares == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(count) / squares);
}

void quietFfmpegLogs() { av_log_set_level(getenv("MEDIA_VERBOSE") ? AV_LOG_DEBUG : AV_LOG_ERROR); }

}  // namespace orvix::test
