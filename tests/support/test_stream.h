// Test media: pictures, streams encoded from them with libavcodec's MPEG-4
// and libx264 encoders, FFmpeg's own decode of a stream for comparison, and
// a picture distance in dB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvix::test {

// Rows top first, width * 4 bytes each: blue, green, red, unused.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra;

    const uint8_t* pixel(int x, int y) const { return bgra.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

using Packet = std::vector<uint8_t>;

struct EncodedStream {
    std::vector<Packet> packets;  // one packet per picture, in decode order
    std::vector<bool> keys;       // key picture per packet
};

// A picture with gradients and a block that moves with `index`.
RgbImage patternImage(int width, int height, int index);
RgbImage solidImage(int width, int height, uint8_t red, uint8_t green, uint8_t blue);

// Encodes the pictures with "mpeg4" or "libx264" (Baseline, no delay); a key
// picture every `keyInterval` pictures. Fails the calling test on error.
EncodedStream encodeImages(const std::string& encoder, const std::vector<RgbImage>& images, int keyInterval);
EncodedStream encodePattern(const std::string& encoder, int width, int height, int count, int keyInterval,
                            int firstIndex = 0);

// A raw H.264 stream whose slices decode with the fixed parameter set for
// (standard bit, resolution code): slices only, no parameter sets, made by
// the tools' encoder. The pictures are the pattern at the set's size.
EncodedStream encodeRawPattern(int standardBit, int resolutionCode, int count, int keyInterval, int firstIndex = 0);
// The parameter set for (standard bit, code) followed by `packet`.
Packet withParameterSet(int standardBit, int resolutionCode, const Packet& packet);

// An H.264 key picture (its parameter sets, then one IDR slice) of
// widthMbs x heightMbs macroblocks of 16 x 16 pixels, larger than an encoder
// would be asked for. Only the first `codedMbs` macroblocks are coded (flat
// grey); the decoder conceals the rest.
Packet h264KeyPictureOfSize(int widthMbs, int heightMbs, int codedMbs);

// FFmpeg's decode of `packets` with the named decoder ("mpeg4", "h264"),
// converted to blue/green/red with a scaler of its own: the picture after
// each packet (repeated when a packet completes none).
std::vector<RgbImage> referenceDecode(const std::string& decoder, const std::vector<Packet>& packets);

// Peak signal-to-noise ratio over the colour bytes of two equally sized
// pictures; 100 for identical ones, 0 when the sizes differ.
double psnr(const RgbImage& a, const uint8_t* b, int width, int height);

}  // namespace orvix::test
