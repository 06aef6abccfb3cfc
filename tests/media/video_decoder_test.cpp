#include "media/video_decoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "core/debug_log.h"
#include "link/frame_kind.h"
#include "media/video_codec.h"
#include "tests/support/test_stream.h"

namespace orvix {
namespace {

using test::EncodedStream;
using test::RgbImage;

constexpr double kSamePicture = 40.0;  // dB against FFmpeg's own decode

// The debug lines about dropped pictures are checked below; debug output
// must be on before the first line is written.
const bool kDebugOn = [] { return setenv("ORVIX_DEBUG", "1", 1) == 0; }();

struct CodecCase {
    const char* encoder;
    const char* decoder;
    int32_t model;
};

const CodecCase kMpeg4{"mpeg4", "mpeg4", 0};
const CodecCase kH264{"libx264", "h264", 23};

struct RecordHolder {
    DeviceRecord* record = createRecord();
    explicit RecordHolder(int32_t model) { record->modelIndex = model; }
    ~RecordHolder() { destroyRecord(record); }
};

// Decodes every packet and checks each picture against FFmpeg's decode.
void expectSameAsReference(VideoDecoder& decoder, const CodecCase& codec, const std::vector<test::Packet>& packets) {
    const std::vector<RgbImage> reference = test::referenceDecode(codec.decoder, packets);
    ASSERT_EQ(reference.size(), packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        SCOPED_TRACE(i);
        const DecodedPicture picture = decoder.decode(packets[i].data(), packets[i].size());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture.width, reference[i].width);
        EXPECT_EQ(picture.height, reference[i].height);
        EXPECT_GE(test::psnr(reference[i], picture.pixels, picture.width, picture.height), kSamePicture);
    }
}

TEST(ModelTables, FrameKindAndCodecByModelIndex) {
    for (int32_t m : {0, 1, 2, 12, 13, 14, 15, 16, 20, 21, 47}) {
        EXPECT_EQ(frameKindForModel(m), FrameKind::Header64) << m;
        EXPECT_EQ(codecForModel(m), VideoCodec::Mpeg4) << m;
    }
    for (int32_t m : {10, 11}) {
        EXPECT_EQ(frameKindForModel(m), FrameKind::Header32) << m;
        EXPECT_EQ(codecForModel(m), VideoCodec::Mpeg4) << m;
    }
    for (int32_t m : {23, 24, 25, 48, 49, 50, 51}) {
        EXPECT_EQ(frameKindForModel(m), FrameKind::Header32) << m;
        EXPECT_EQ(codecForModel(m), VideoCodec::H264) << m;
    }
    for (int32_t m : {26, 30, 46, 52}) {
        EXPECT_EQ(frameKindForModel(m), FrameKind::Header32Raw) << m;
        EXPECT_EQ(codecForModel(m), VideoCodec::H264) << m;
    }
    for (int32_t m : {-1, 3, 5, 9, 17, 18, 19, 22, 53, 1000}) {
        EXPECT_EQ(frameKindForModel(m), FrameKind::None) << m;
        EXPECT_EQ(codecForModel(m), VideoCodec::None) << m;
    }
}

class DecodeStream : public ::testing::TestWithParam<CodecCase> {};

TEST_P(DecodeStream, PicturesMatchFfmpegsOwnDecodeAndMirrorIntoTheFrame) {
    const CodecCase codec = GetParam();
    const EncodedStream stream = test::encodePattern(codec.encoder, 352, 288, 10, 5);
    RecordHolder holder(codec.model);
    DisplayFrame frame;
    VideoDecoder decoder;
    decoder.attachFrame(&frame);
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    EXPECT_EQ(decoder.outputWidth(), 0);  // nothing decoded yet

    expectSameAsReference(decoder, codec, stream.packets);
    EXPECT_EQ(frame.width, 352);
    EXPECT_EQ(frame.height, 288);
    EXPECT_EQ(frame.rowBytes, 352 * 4);
    EXPECT_EQ(frame.sourceRect.right, 352);
    EXPECT_EQ(frame.sourceRect.bottom, 288);
    EXPECT_NE(frame.picture, nullptr);
    // The first picture built the scaler and was decoded a second time.
    EXPECT_EQ(decoder.counters().scalerBuilds, 1u);
    EXPECT_EQ(decoder.counters().decodeCalls, stream.packets.size() + 1);
}

TEST_P(DecodeStream, NewSizeMidStreamRebuildsTheScalerAndDecodesThePacketTwice) {
    const CodecCase codec = GetParam();
    const EncodedStream first = test::encodePattern(codec.encoder, 352, 288, 4, 4);
    const EncodedStream second = test::encodePattern(codec.encoder, 704, 576, 4, 4, 10);
    std::vector<test::Packet> packets = first.packets;
    packets.insert(packets.end(), second.packets.begin(), second.packets.end());

    RecordHolder holder(codec.model);
    DisplayFrame frame;
    VideoDecoder decoder;
    decoder.attachFrame(&frame);
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    expectSameAsReference(decoder, codec, packets);
    EXPECT_EQ(decoder.counters().scalerBuilds, 2u);
    EXPECT_EQ(decoder.counters().decodeCalls, packets.size() + 2);
    EXPECT_EQ(frame.width, 704);
    EXPECT_EQ(frame.height, 576);
    EXPECT_EQ(frame.rowBytes, 704 * 4);
}

INSTANTIATE_TEST_SUITE_P(BothCodecs, DecodeStream, ::testing::Values(kMpeg4, kH264),
                         [](const ::testing::TestParamInfo<CodecCase>& param) {
                             return std::string(param.param.decoder);
                         });

TEST(VideoDecoder, PictureLargerThanTheOpeningSizeIsShownWhole) {
    const EncodedStream stream = test::encodePattern("mpeg4", 1280, 720, 3, 3);
    RecordHolder holder(kMpeg4.model);
    DisplayFrame frame;
    VideoDecoder decoder;
    decoder.attachFrame(&frame);
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    expectSameAsReference(decoder, kMpeg4, stream.packets);
    EXPECT_EQ(frame.width, 1280);
    EXPECT_EQ(frame.height, 720);
    EXPECT_EQ(frame.rowBytes, 1280 * 4);
}

TEST(VideoDecoder, PicturesOverTheLimitAreDroppedWithOneDebugLinePerSize) {
    RecordHolder holder(kH264.model);
    VideoDecoder decoder;
    DisplayFrame frame;
    decoder.attachFrame(&frame);
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);

    const test::Packet widestPacket = test::h264KeyPictureOfSize(256, 1, 256);
    const DecodedPicture widest = decoder.decode(widestPacket.data(), widestPacket.size());
    ASSERT_TRUE(widest);
    EXPECT_EQ(widest.width, kMaxPictureWidth);
    EXPECT_NEAR(widest.pixels[0], 128, 4);  // flat grey

    testing::internal::CaptureStderr();
    for (const auto& [widthMbs, heightMbs] : {std::pair{257, 1}, {1, 257}, {999, 999}, {999, 999}}) {
        const test::Packet packet = test::h264KeyPictureOfSize(widthMbs, heightMbs, 1);
        EXPECT_FALSE(decoder.decode(packet.data(), packet.size())) << widthMbs << "x" << heightMbs;
        // What is shown stays the last picture that fitted.
        EXPECT_EQ(frame.width, kMaxPictureWidth);
        EXPECT_EQ(frame.height, 16);
        EXPECT_EQ(frame.picture, widest.pixels);
    }
    const std::string debug = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(kDebugOn && debugEnabled());
    EXPECT_NE(debug.find("Picture 4112x16 is larger than 4096x4096, dropped \r\n"), std::string::npos) << debug;
    EXPECT_NE(debug.find("Picture 16x4112 is larger"), std::string::npos) << debug;
    const std::string huge = "Picture 15984x15984 is larger than 4096x4096, dropped";
    EXPECT_NE(debug.find(huge), std::string::npos) << debug;
    EXPECT_EQ(debug.find(huge), debug.rfind(huge)) << debug;  // once for the two pictures

    const test::Packet small = test::h264KeyPictureOfSize(4, 4, 16);
    const DecodedPicture after = decoder.decode(small.data(), small.size());
    ASSERT_TRUE(after);
    EXPECT_EQ(after.width, 64);
    EXPECT_EQ(frame.width, 64);

    // MPEG-4 carries its size in its own header; the same limit holds.
    RecordHolder mpeg4Holder(kMpeg4.model);
    VideoDecoder mpeg4;
    ASSERT_EQ(mpeg4.open(720, 576, *mpeg4Holder.record), 1);
    const EncodedStream wide = test::encodePattern("mpeg4", kMaxPictureWidth + 16, 32, 1, 1);
    EXPECT_FALSE(mpeg4.decode(wide.packets[0].data(), wide.packets[0].size()));
    const EncodedStream fits = test::encodePattern("mpeg4", kMaxPictureWidth, 32, 1, 1);
    EXPECT_TRUE(mpeg4.decode(fits.packets[0].data(), fits.packets[0].size()));
}

TEST(VideoDecoder, TheAdmissionIsAskedBeforeAPictureSizeIsHeld) {
    for (const CodecCase& codec : {kMpeg4, kH264}) {
        SCOPED_TRACE(codec.encoder);
        const EncodedStream stream = test::encodePattern(codec.encoder, 352, 288, 2, 1);
        RecordHolder holder(codec.model);
        VideoDecoder decoder;
        std::vector<std::pair<int, int>> asked;
        bool allow = false;
        decoder.setAdmission([&](int width, int height) {
            asked.emplace_back(width, height);
            return allow;
        });
        ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
        EXPECT_FALSE(decoder.decode(stream.packets[0].data(), stream.packets[0].size()));
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front(), std::make_pair(352, 288));
        // Allowed now: a decoder opened afresh gives the picture.
        allow = true;
        ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
        const DecodedPicture picture = decoder.decode(stream.packets[1].data(), stream.packets[1].size());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture.width, 352);
    }
}

TEST(VideoDecoder, ColoursComeOutAsBlueGreenRedBytes) {
    struct Colour {
        uint8_t r, g, b;
    };
    const Colour colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}};
    std::vector<RgbImage> images;
    for (const Colour& c : colours) images.push_back(test::solidImage(176, 144, c.r, c.g, c.b));
    for (const CodecCase& codec : {kMpeg4, kH264}) {
        SCOPED_TRACE(codec.encoder);
        const EncodedStream stream = test::encodeImages(codec.encoder, images, 1);
        ASSERT_EQ(stream.packets.size(), images.size());
        RecordHolder holder(codec.model);
        VideoDecoder decoder;
        ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
        for (size_t i = 0; i < images.size(); ++i) {
            const DecodedPicture picture = decoder.decode(stream.packets[i].data(), stream.packets[i].size());
            ASSERT_TRUE(picture);
            for (const auto& [x, y] : {std::pair{0, 0}, std::pair{88, 72}, std::pair{175, 143}}) {
                const uint8_t* p = picture.pixels + (static_cast<size_t>(y) * picture.width + x) * 4;
                EXPECT_NEAR(p[0], colours[i].b, 12) << "blue at " << x << "," << y;
                EXPECT_NEAR(p[1], colours[i].g, 12) << "green at " << x << "," << y;
                EXPECT_NEAR(p[2], colours[i].r, 12) << "red at " << x << "," << y;
            }
        }
    }
}

TEST(VideoDecoder, ModelWithoutCodecGivesNoDecoderAndNoPicture) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 2, 1);
    RecordHolder holder(5);
    VideoDecoder decoder;
    EXPECT_EQ(decoder.open(720, 576, *holder.record), -1);
    for (const test::Packet& packet : stream.packets) EXPECT_FALSE(decoder.decode(packet.data(), packet.size()));
    EXPECT_EQ(decoder.counters().decodeCalls, 0u);
}

TEST(VideoDecoder, ReopenKeepsWorkingAndAModelWithoutCodecKeepsTheCodecFound) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 3, 1);
    RecordHolder holder(kMpeg4.model);
    VideoDecoder decoder;
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    ASSERT_TRUE(decoder.decode(stream.packets[0].data(), stream.packets[0].size()));
    holder.record->modelIndex = 5;
    EXPECT_EQ(decoder.open(720, 576, *holder.record), 1);
    EXPECT_TRUE(decoder.decode(stream.packets[1].data(), stream.packets[1].size()));
    EXPECT_EQ(decoder.open(0, 576, *holder.record), -1);
}

TEST(VideoDecoder, BadPacketsGiveNothingAndDoNotEndTheStream) {
    const EncodedStream stream = test::encodePattern("libx264", 176, 144, 3, 3);
    RecordHolder holder(kH264.model);
    VideoDecoder decoder;
    const uint8_t garbage[] = {0x00, 0x00, 0x01, 0xB6, 0xFF, 0x13, 0x37, 0x00, 0x00, 0x00, 0x01, 0x41, 0x9A};
    EXPECT_FALSE(decoder.decode(stream.packets[0].data(), stream.packets[0].size()));  // not opened
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    EXPECT_FALSE(decoder.decode(nullptr, 100));
    EXPECT_FALSE(decoder.decode(garbage, 0));  // would end the stream for FFmpeg
    EXPECT_FALSE(decoder.decode(garbage, sizeof garbage));
    for (const test::Packet& packet : stream.packets) EXPECT_TRUE(decoder.decode(packet.data(), packet.size()));
}

TEST(VideoDecoder, ReopenWhileDecodingOnAnotherThreadIsSafe) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 6, 2);
    RecordHolder holder(kMpeg4.model);
    DisplayFrame frame;
    VideoDecoder decoder;
    decoder.attachFrame(&frame);
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    std::atomic<bool> done{false};
    std::thread decoding([&] {
        for (int round = 0; round < 8; ++round) {
            for (const test::Packet& packet : stream.packets) {
                const DecodedPicture picture = decoder.decode(packet.data(), packet.size());
                if (picture) {
                    EXPECT_EQ(picture.width, 176);
                }
            }
        }
        done = true;
    });
    for (int i = 0; i < 20 && !done; ++i) EXPECT_EQ(decoder.open(720, 576, *holder.record), 1);
    decoding.join();
    decoder.close();
    EXPECT_EQ(frame.picture, nullptr);
}

}  // namespace
}  // namespace orvix

namespace orvix {
namespace {

// A grid tile's decoder: the colour conversion scales to the size asked for
// each picture, keeps the colours, and gives the decoded size alongside; a
// size that cannot be had keeps the decoded one.
TEST(VideoDecoder, ConvertsStraightToTheSizeAskedFor) {
    std::vector<test::RgbImage> images(4, test::solidImage(352, 288, 200, 40, 40));
    const EncodedStream stream = test::encodeImages("mpeg4", images, 2);
    RecordHolder holder(kMpeg4.model);
    VideoDecoder decoder;
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    std::vector<std::pair<int, int>> asked = {{160, 120}, {160, 120}, {0, 5}, {320, 240}};
    size_t call = 0;
    decoder.setConvertedSize([&](int width, int height) {
        EXPECT_EQ(width, 352);
        EXPECT_EQ(height, 288);
        return asked[std::min(call++, asked.size() - 1)];
    });
    const std::vector<std::pair<int, int>> expected = {{160, 120}, {160, 120}, {352, 288}, {320, 240}};
    for (size_t i = 0; i < stream.packets.size(); ++i) {
        const DecodedPicture picture = decoder.decode(stream.packets[i].data(), stream.packets[i].size());
        ASSERT_TRUE(picture) << i;
        EXPECT_EQ(std::make_pair(picture.width, picture.height), expected[i]) << i;
        EXPECT_EQ(picture.decodedWidth, 352);
        EXPECT_EQ(picture.decodedHeight, 288);
        const uint8_t* middle = picture.pixels + (static_cast<size_t>(picture.height / 2) * picture.width +
                                                  picture.width / 2) * 4;
        EXPECT_NEAR(middle[2], 200, 24) << i;  // red
        EXPECT_NEAR(middle[1], 40, 24) << i;
    }
    // The first size, back to decoded, then the last.
    EXPECT_EQ(decoder.counters().scalerBuilds, 4u);
}

TEST(VideoDecoder, TheLastPictureCanBeReadUntilClose) {
    // Left half red, right half blue: the copy is checked in both halves.
    test::RgbImage image = test::solidImage(352, 288, 200, 40, 40);
    for (int y = 0; y < 288; ++y) {
        for (int x = 176; x < 352; ++x) {
            uint8_t* p = image.bgra.data() + (static_cast<size_t>(y) * 352 + x) * 4;
            p[0] = 200;  // blue
            p[2] = 40;   // red
        }
    }
    const EncodedStream stream = test::encodeImages("mpeg4", {image, image}, 2);
    RecordHolder holder(kMpeg4.model);
    VideoDecoder decoder;
    ASSERT_EQ(decoder.open(720, 576, *holder.record), 1);
    int calls = 0;
    DecodedPicture seen;
    std::vector<uint8_t> copy;
    const auto read = [&] {
        decoder.withPicture([&](const DecodedPicture& picture) {
            ++calls;
            seen = picture;
            copy.assign(picture.pixels, picture.pixels + size_t{4} * picture.width * picture.height);
        });
    };
    read();
    EXPECT_EQ(calls, 0);  // nothing decoded yet

    for (const auto& packet : stream.packets) ASSERT_TRUE(decoder.decode(packet.data(), packet.size()));
    read();
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(seen.width, 352);
    EXPECT_EQ(seen.height, 288);
    const auto pixel = [&](int x, int y) { return copy.data() + (static_cast<size_t>(y) * 352 + x) * 4; };
    EXPECT_NEAR(pixel(80, 144)[2], 200, 24);   // red on the left
    EXPECT_NEAR(pixel(270, 144)[0], 200, 24);  // blue on the right

    // A converted size: the picture read is the converted one.
    decoder.setConvertedSize([](int, int) { return std::make_pair(176, 144); });
    ASSERT_TRUE(decoder.decode(stream.packets[1].data(), stream.packets[1].size()));
    read();
    EXPECT_EQ(seen.width, 176);
    EXPECT_EQ(seen.decodedWidth, 352);

    decoder.close();
    read();
    EXPECT_EQ(calls, 2);
}

}  // namespace

}  // namespace orvix
