// Live picture encoding for the tools: MPEG-4 Visual or H.264 with
// libavcodec, one coded picture out for every picture in, no delay.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/encoder/h264_slice_rewriter.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace orvix::media {

enum class Codec { Mpeg4, H264 };

struct EncoderSettings {
    Codec codec = Codec::Mpeg4;
    int width = 352, height = 288;   // even, 16..4096
    int framesPerSecond = 25;        // 1..240
    int keyInterval = 25;            // frames between key pictures, 1..100000
    int bitRate = 800000;            // bits per second, 10000..100000000
    bool fixedParameterSets = false; // H.264 only: raw slices for the fixed sets
    int videoStandardBit = 1;        // with fixedParameterSets: 0 (240/480 lines) or 1 (288/576)
    int resolutionCode = 0;          // with fixedParameterSets: 0, 1 or 2; width/height must match the set
};

struct EncodedPicture {
    std::vector<uint8_t> bytes;  // MPEG-4: the VOP, key pictures preceded by the VOL headers;
                                 // H.264: Annex B, key pictures preceded by SPS/PPS;
                                 // fixedParameterSets: rewritten slice NAL units only (Annex B), no SPS/PPS/SEI
    bool key = false;
};

// One encoder per stream. requestKeyPicture() may be called from any thread;
// everything else belongs to one thread.
class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Opens the encoder; with fixedParameterSets also checks that the H.264
    // encoder's own parameter sets allow its slices to be re-targeted to the
    // fixed set, and refuses otherwise. On failure `error` tells why.
    bool open(const EncoderSettings& settings, std::string* error = nullptr);
    // One picture in memory bytes B,G,R,X per pixel, `stride` bytes per row (the client's RGB32 layout).
    // Gives exactly one coded picture; false (see lastError()) if the picture
    // could not be encoded, after which the next picture is a key picture.
    bool encode(const uint8_t* bgrx, int stride, EncodedPicture& out);
    void close();
    // Forces the next picture to be a key picture.
    void requestKeyPicture();

    bool isOpen() const { return context_ != nullptr; }
    const std::string& lastError() const { return error_; }
    // The encoder's own output for the last picture, before any rewriting.
    const std::vector<uint8_t>& encoderBytes() const { return encoderBytes_; }
    // With fixedParameterSets: the H.264 encoder's own SPS and PPS (Annex B),
    // which belong in front of encoderBytes(); empty otherwise.
    const std::vector<uint8_t>& encoderHeaders() const { return encoderHeaders_; }

private:
    bool fail(const std::string& reason, std::string* error = nullptr);
    bool closeAndFail(const std::string& reason, std::string* error);
    bool configureRewriter(std::string* error);
    bool rewritePacket(EncodedPicture& out);

    EncoderSettings settings_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    SliceRewriter rewriter_;
    std::vector<uint8_t> sourceSps_, sourcePps_;  // escaped, as the encoder gave them
    std::vector<uint8_t> encoderBytes_;
    std::vector<uint8_t> encoderHeaders_;
    std::string error_;
    int64_t nextPts_ = 0;
    std::atomic<bool> keyRequested_{false};
};

}  // namespace orvix::media
