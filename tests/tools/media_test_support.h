// Helpers for the media tests: synthetic moving pictures, a libavcodec
// decoder that hands back YUV and BGRX pictures, and PSNR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace orvix::test {

// A smooth moving colour pattern with a moving soft-edged square, B,G,R,X per
// pixel, rows of width * 4 bytes.
std::vector<uint8_t> movingPattern(int width, int height, int frameIndex);

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> yuv;   // Y, U and V planes of 4:2:0, without padding
    std::vector<uint8_t> bgrx;  // the same picture as B,G,R,X, width * 4 per row
};

class TestDecoder {
public:
    // codecId is an AVCodecID (AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4).
    explicit TestDecoder(int codecId);
    ~TestDecoder();
    TestDecoder(const TestDecoder&) = delete;
    TestDecoder& operator=(const TestDecoder&) = delete;

    // Decodes one packet and appends the pictures that come out now; false on
    // a decoding error.
    bool decode(const std::vector<uint8_t>& packet, std::vector<DecodedPicture>& out);
    // Drains the pictures the decoder still holds.
    void flush(std::vector<DecodedPicture>& out);

private:
    void receive(std::vector<DecodedPicture>& out);

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
};

// PSNR in dB over the B, G and R bytes of two pictures of equal size; 99 when equal.
double psnrBgrx(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Silences libavcodec's and x264's informational output.
void quietFfmpegLogs();

}  // namespace orvix::test
