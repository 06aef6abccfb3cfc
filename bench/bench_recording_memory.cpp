// The heap a long recording takes per picture: StreamRecorder (fragmented
// MP4) over an hour of pictures at 25 a second, against libavformat's MP4
// muxer writing the same packets into an unfragmented file, which keeps an
// index entry per picture until the end. Packets are synthetic (a small
// MPEG-4 stream, repeated); times advance 40 ms a picture.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "recording/elementary_stream.h"
#include "recording/stream_recorder.h"

using namespace orvix;

namespace {

constexpr int kPictures = 90000;
constexpr int kWidth = 176;
constexpr int kHeight = 144;

int64_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

// A few MPEG-4 pictures from libavcodec's encoder, each a packet.
std::vector<std::vector<uint8_t>> encodeSome() {
    std::vector<std::vector<uint8_t>> packets;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* c = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    if (c == nullptr) return packets;
    c->width = kWidth;
    c->height = kHeight;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    c->gop_size = 25;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (avcodec_open2(c, codec, nullptr) == 0 && frame != nullptr && packet != nullptr) {
        frame->format = c->pix_fmt;
        frame->width = kWidth;
        frame->height = kHeight;
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < 50; ++i) {
            av_frame_make_writable(frame);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(x + y + i);
            for (int p = 1; p < 3; ++p)
                for (int y = 0; y < kHeight / 2; ++y)
                    for (int x = 0; x < kWidth / 2; ++x) frame->data[p][y * frame->linesize[p] + x] = 128;
            frame->pts = i;
            avcodec_send_frame(c, frame);
            while (avcodec_receive_packet(c, packet) == 0) {
                packets.emplace_back(packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return packets;
}

double streamRecorderBytes(const std::vector<std::vector<uint8_t>>& packets, const std::string& path) {
    auto now = std::chrono::steady_clock::time_point{};
    StreamRecorder recorder(path, [&now] { return now += std::chrono::milliseconds(40); });
    recorder.setCodec(VideoCodec::Mpeg4);
    int64_t before = 0;
    for (int i = 0; i < kPictures; ++i) {
        const auto& p = packets[static_cast<size_t>(i) % packets.size()];
        recorder.decoderInput(p.data(), p.size());
        recorder.pictureDecoded(kWidth, kHeight);
        if (i == kPictures / 10) before = heapInUse();
    }
    const double perPicture = static_cast<double>(heapInUse() - before) / (kPictures - kPictures / 10);
    std::string error;
    recorder.finish(error);
    return perPicture;
}

double plainMuxerBytes(const std::vector<std::vector<uint8_t>>& packets, const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "mp4", path.c_str()) < 0) return -1;
    AVStream* stream = avformat_new_stream(format, nullptr);
    const std::vector<uint8_t> headers = streamHeaders(VideoCodec::Mpeg4, packets[0].data(), packets[0].size());
    stream->time_base = AVRational{1, 1000};
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MPEG4;
    stream->codecpar->width = kWidth;
    stream->codecpar->height = kHeight;
    stream->codecpar->extradata = static_cast<uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::copy(headers.begin(), headers.end(), stream->codecpar->extradata);
    stream->codecpar->extradata_size = static_cast<int>(headers.size());
    if (avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(format, nullptr) < 0) return -1;
    AVPacket* packet = av_packet_alloc();
    int64_t before = 0;
    for (int i = 0; i < kPictures; ++i) {
        const auto& p = packets[static_cast<size_t>(i) % packets.size()];
        av_new_packet(packet, static_cast<int>(p.size()));
        std::copy(p.begin(), p.end(), packet->data);
        packet->pts = packet->dts = int64_t{i} * 40;
        packet->duration = 40;
        packet->flags = isKeyPacket(VideoCodec::Mpeg4, p.data(), p.size()) ? AV_PKT_FLAG_KEY : 0;
        av_write_frame(format, packet);
        av_packet_unref(packet);
        if (i == kPictures / 10) before = heapInUse();
    }
    const double perPicture = static_cast<double>(heapInUse() - before) / (kPictures - kPictures / 10);
    av_write_trailer(format);
    av_packet_free(&packet);
    avio_closep(&format->pb);
    avformat_free_context(format);
    return perPicture;
}

}  // namespace

int main() {
    const auto packets = encodeSome();
    if (packets.empty()) return 1;
    const auto dir = std::filesystem::temp_directory_path();
    const std::string ours = (dir / "orvix_bench_recording.mp4").string();
    const std::string plain = (dir / "orvix_bench_recording_plain.mp4").string();
    const double recorder = streamRecorderBytes(packets, ours);
    const double muxer = plainMuxerBytes(packets, plain);
    std::filesystem::remove(ours);
    std::filesystem::remove(plain);
    std::printf("(rec) heap per recorded picture over %d pictures at 25 a second: StreamRecorder %.2f bytes, "
                "an unfragmented MP4 muxer %.2f bytes: %.3fx\n",
                kPictures, recorder, muxer, muxer > 0 ? recorder / muxer : 0.0);
    return 0;
}
