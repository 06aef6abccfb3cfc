#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "media/parameter_sets.h"
#include "tests/tools/media_test_support.h"
#include "tools/encoder/h264_bitstream.h"
#include "tools/encoder/video_encoder.h"

using namespace orvix;
using namespace orvix::media;
using orvix::test::DecodedPicture;
using orvix::test::TestDecoder;

namespace {

class VideoEncoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { orvix::test::quietFfmpegLogs(); }
};

struct EncodedSequence {
    std::vector<EncodedPicture> pictures;
    std::vector<std::vector<uint8_t>> encoderStream;  // the encoder's own packets, headers in front of the first
    std::vector<std::vector<uint8_t>> sources;
};

// Encodes `count` pictures of the moving pattern; rows are given with
// `padding` extra bytes each, and a key picture is requested before each
// index in `keyRequests`.
EncodedSequence encodeSequence(const EncoderSettings& settings, int count, int padding = 0,
                               const std::vector<int>& keyRequests = {}) {
    EncodedSequence sequence;
    VideoEncoder encoder;
    std::string error;
    EXPECT_TRUE(encoder.open(settings, &error)) << error;
    if (!encoder.isOpen()) return sequence;
    const size_t rowBytes = static_cast<size_t>(settings.width) * 4;
    const size_t stride = rowBytes + static_cast<size_t>(padding);
    std::vector<uint8_t> input(stride * static_cast<size_t>(settings.height), 0xEE);
    for (int i = 0; i < count; ++i) {
        sequence.sources.push_back(orvix::test::movingPattern(settings.width, settings.height, i));
        for (int y = 0; y < settings.height; ++y)
            std::copy_n(sequence.sources.back().data() + y * rowBytes, rowBytes, input.data() + y * stride);
        if (std::find(keyRequests.begin(), keyRequests.end(), i) != keyRequests.end()) encoder.requestKeyPicture();
        EncodedPicture picture;
        EXPECT_TRUE(encoder.encode(input.data(), static_cast<int>(stride), picture)) << encoder.lastError();
        std::vector<uint8_t> own = i == 0 ? encoder.encoderHeaders() : std::vector<uint8_t>{};
        own.insert(own.end(), encoder.encoderBytes().begin(), encoder.encoderBytes().end());
        sequence.encoderStream.push_back(std::move(own));
        sequence.pictures.push_back(std::move(picture));
    }
    return sequence;
}

std::vector<int> nalTypes(const std::vector<uint8_t>& bytes) {
    std::vector<int> types;
    for (const NalUnitSpan& unit : splitAnnexB(bytes.data(), bytes.size())) types.push_back(unit.type());
    return types;
}

EncoderSettings fixedSetSettings(int standardBit, int resolutionCode, int keyInterval) {
    const RawParameterSet* set = rawParameterSet(standardBit, resolutionCode);
    EncoderSettings settings;
    settings.codec = Codec::H264;
    settings.width = set->width;
    settings.height = set->height;
    settings.keyInterval = keyInterval;
    settings.bitRate = 2000000;
    settings.fixedParameterSets = true;
    settings.videoStandardBit = standardBit;
    settings.resolutionCode = resolutionCode;
    return settings;
}

// The packets a client decodes for a raw stream it joins at picture `from`
// (a key picture): the fixed set goes in front of that picture only; later
// key pictures of the same configuration come without it.
std::vector<std::vector<uint8_t>> clientPackets(const RawParameterSet& set, const EncodedSequence& sequence,
                                                size_t from = 0) {
    std::vector<std::vector<uint8_t>> packets;
    for (size_t i = from; i < sequence.pictures.size(); ++i) {
        std::vector<uint8_t> packet;
        if (i == from) packet.assign(set.bytes, set.bytes + set.length);
        packet.insert(packet.end(), sequence.pictures[i].bytes.begin(), sequence.pictures[i].bytes.end());
        packets.push_back(std::move(packet));
    }
    return packets;
}

// Decodes packet by packet and expects each packet to give its picture at
// once, as the client shows a picture per packet.
std::vector<DecodedPicture> decodeLive(TestDecoder& decoder, const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<DecodedPicture> pictures;
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_TRUE(decoder.decode(packets[i], pictures)) << "packet " << i;
        EXPECT_EQ(pictures.size(), i + 1) << "packet " << i << " gave no picture at once";
    }
    decoder.flush(pictures);
    EXPECT_EQ(pictures.size(), packets.size());
    return pictures;
}

std::vector<DecodedPicture> decodeLive(int codecId, const std::vector<std::vector<uint8_t>>& packets) {
    TestDecoder decoder(codecId);
    return decodeLive(decoder, packets);
}

void expectSameAs(const std::vector<DecodedPicture>& got, const std::vector<DecodedPicture>& expected,
                  size_t expectedFrom = 0) {
    ASSERT_EQ(got.size() + expectedFrom, expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_TRUE(got[i].yuv == expected[i + expectedFrom].yuv) << "picture " << i + expectedFrom << " differs";
}

void expectCloseTo(const std::vector<DecodedPicture>& got, const EncodedSequence& sequence, int width, int height,
                   size_t from = 0) {
    ASSERT_EQ(got.size() + from, sequence.sources.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].width, width);
        EXPECT_EQ(got[i].height, height);
        EXPECT_GT(orvix::test::psnrBgrx(got[i].bgrx, sequence.sources[i + from]), 30.0) << "picture " << i + from;
    }
}

struct FixedSetCase {
    int standardBit;
    int resolutionCode;
};

std::string fixedSetName(const ::testing::TestParamInfo<FixedSetCase>& param) {
    return "Standard" + std::to_string(param.param.standardBit) + "Code" + std::to_string(param.param.resolutionCode);
}

class FixedSetEncoding : public VideoEncoderTest, public ::testing::WithParamInterface<FixedSetCase> {};

// The rewritten slices, decoded behind the fixed set, give exactly the
// pictures of x264's own stream, also for a client that joins at a later key
// picture.
TEST_P(FixedSetEncoding, SlicesDecodeWithTheFixedSetLikeTheEncodersOwnStream) {
    const FixedSetCase c = GetParam();
    const RawParameterSet* set = rawParameterSet(c.standardBit, c.resolutionCode);
    ASSERT_NE(set, nullptr);
    const EncoderSettings settings = fixedSetSettings(c.standardBit, c.resolutionCode, 10);
    const EncodedSequence sequence = encodeSequence(settings, 25);
    ASSERT_EQ(sequence.pictures.size(), 25u);
    for (size_t i = 0; i < sequence.pictures.size(); ++i) {
        const EncodedPicture& picture = sequence.pictures[i];
        EXPECT_EQ(picture.key, i % 10 == 0) << "picture " << i;
        for (int type : nalTypes(picture.bytes)) EXPECT_EQ(type, picture.key ? 5 : 1) << "picture " << i;
    }
    const std::vector<DecodedPicture> original = decodeLive(AV_CODEC_ID_H264, sequence.encoderStream);
    const std::vector<DecodedPicture> fixed = decodeLive(AV_CODEC_ID_H264, clientPackets(*set, sequence));
    expectSameAs(fixed, original);
    expectCloseTo(fixed, sequence, set->width, set->height);
    expectSameAs(decodeLive(AV_CODEC_ID_H264, clientPackets(*set, sequence, 10)), original, 10);
}

INSTANTIATE_TEST_SUITE_P(AllSixSets, FixedSetEncoding,
                         ::testing::Values(FixedSetCase{0, 0}, FixedSetCase{0, 1}, FixedSetCase{0, 2},
                                           FixedSetCase{1, 0}, FixedSetCase{1, 1}, FixedSetCase{1, 2}),
                         fixedSetName);

// One group longer than the fixed set's frame_num and picture order ranges
// (512 pictures each) and than x264's own frame_num range.
TEST_F(VideoEncoderTest, LongGroupWrapsFrameNumberAndPictureOrder) {
    EncoderSettings settings = fixedSetSettings(0, 0, 1000);
    settings.bitRate = 300000;
    const EncodedSequence sequence = encodeSequence(settings, 530);
    ASSERT_EQ(sequence.pictures.size(), 530u);
    EXPECT_TRUE(sequence.pictures[0].key);
    for (size_t i = 1; i < sequence.pictures.size(); ++i) EXPECT_FALSE(sequence.pictures[i].key) << i;
    const std::vector<DecodedPicture> original = decodeLive(AV_CODEC_ID_H264, sequence.encoderStream);
    expectSameAs(decodeLive(AV_CODEC_ID_H264, clientPackets(*rawParameterSet(0, 0), sequence)), original);
}

// A requested key picture restarts the numbering; the stream decodes on
// through it, and a client can join there.
TEST_F(VideoEncoderTest, RequestedKeyPictureRestartsTheFixedSetStream) {
    const EncoderSettings settings = fixedSetSettings(1, 0, 50);
    const EncodedSequence sequence = encodeSequence(settings, 14, 0, {5});
    ASSERT_EQ(sequence.pictures.size(), 14u);
    for (size_t i = 0; i < sequence.pictures.size(); ++i)
        EXPECT_EQ(sequence.pictures[i].key, i == 0 || i == 5) << "picture " << i;
    const std::vector<DecodedPicture> original = decodeLive(AV_CODEC_ID_H264, sequence.encoderStream);
    const RawParameterSet& set = *rawParameterSet(1, 0);
    expectSameAs(decodeLive(AV_CODEC_ID_H264, clientPackets(set, sequence)), original);
    expectSameAs(decodeLive(AV_CODEC_ID_H264, clientPackets(set, sequence, 5)), original, 5);
}

// The configuration changes from resolution code 2 to 0 within one decoder:
// the first key picture of the new size arrives behind its own set.
TEST_F(VideoEncoderTest, OneDecoderFollowsAChangeOfFixedSet) {
    const EncodedSequence large = encodeSequence(fixedSetSettings(0, 2, 6), 8);
    const EncodedSequence small = encodeSequence(fixedSetSettings(0, 0, 6), 8);
    std::vector<std::vector<uint8_t>> packets = clientPackets(*rawParameterSet(0, 2), large);
    const std::vector<std::vector<uint8_t>> smallPackets = clientPackets(*rawParameterSet(0, 0), small);
    packets.insert(packets.end(), smallPackets.begin(), smallPackets.end());
    const std::vector<DecodedPicture> pictures = decodeLive(AV_CODEC_ID_H264, packets);
    ASSERT_EQ(pictures.size(), 16u);
    const std::vector<DecodedPicture> largeAlone = decodeLive(AV_CODEC_ID_H264, large.encoderStream);
    const std::vector<DecodedPicture> smallAlone = decodeLive(AV_CODEC_ID_H264, small.encoderStream);
    expectSameAs({pictures.begin(), pictures.begin() + 8}, largeAlone);
    expectSameAs({pictures.begin() + 8, pictures.end()}, smallAlone);
    EXPECT_EQ(pictures[8].width, 352);
    EXPECT_EQ(pictures[8].height, 240);
}

bool containsStartCode(const std::vector<uint8_t>& bytes, uint8_t code) {
    for (size_t i = 0; i + 3 < bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == code) return true;
    return false;
}

std::vector<std::vector<uint8_t>> packetsOf(const EncodedSequence& sequence, size_t from = 0) {
    std::vector<std::vector<uint8_t>> packets;
    for (size_t i = from; i < sequence.pictures.size(); ++i) packets.push_back(sequence.pictures[i].bytes);
    return packets;
}

// Rows with padding behind them, a requested key picture, and a decoder that
// starts at a later key picture: the VOL header travels with every key picture.
TEST_F(VideoEncoderTest, Mpeg4KeyPicturesCarryTheirHeaders) {
    EncoderSettings settings;
    settings.codec = Codec::Mpeg4;
    settings.keyInterval = 8;
    settings.bitRate = 1500000;
    const EncodedSequence sequence = encodeSequence(settings, 20, 64, {11});
    ASSERT_EQ(sequence.pictures.size(), 20u);
    for (size_t i = 0; i < sequence.pictures.size(); ++i) {
        const bool key = i == 0 || i == 8 || i == 11 || i == 19;
        EXPECT_EQ(sequence.pictures[i].key, key) << "picture " << i;
        EXPECT_EQ(containsStartCode(sequence.pictures[i].bytes, 0x20), key) << "picture " << i;  // VOL
        EXPECT_TRUE(containsStartCode(sequence.pictures[i].bytes, 0xB6)) << "picture " << i;       // VOP
    }
    const std::vector<DecodedPicture> all = decodeLive(AV_CODEC_ID_MPEG4, packetsOf(sequence));
    expectCloseTo(all, sequence, 352, 288);
    expectSameAs(decodeLive(AV_CODEC_ID_MPEG4, packetsOf(sequence, 8)), all, 8);
}

TEST_F(VideoEncoderTest, PlainH264KeyPicturesCarryTheirParameterSets) {
    EncoderSettings settings;
    settings.codec = Codec::H264;
    settings.keyInterval = 8;
    const EncodedSequence sequence = encodeSequence(settings, 20, 0, {11});
    ASSERT_EQ(sequence.pictures.size(), 20u);
    for (size_t i = 0; i < sequence.pictures.size(); ++i) {
        const bool key = i == 0 || i == 8 || i == 11 || i == 19;
        EXPECT_EQ(sequence.pictures[i].key, key) << "picture " << i;
        const std::vector<int> types = nalTypes(sequence.pictures[i].bytes);
        const bool hasSps = std::find(types.begin(), types.end(), 7) != types.end();
        const bool hasPps = std::find(types.begin(), types.end(), 8) != types.end();
        EXPECT_EQ(hasSps && hasPps, key) << "picture " << i;
        EXPECT_EQ(types.back(), key ? 5 : 1) << "picture " << i;
    }
    const std::vector<DecodedPicture> all = decodeLive(AV_CODEC_ID_H264, packetsOf(sequence));
    expectCloseTo(all, sequence, 352, 288);
    expectSameAs(decodeLive(AV_CODEC_ID_H264, packetsOf(sequence, 8)), all, 8);
}

TEST_F(VideoEncoderTest, RefusesSettingsItCannotHonour) {
    const auto refused = [](const EncoderSettings& settings) {
        VideoEncoder encoder;
        std::string error;
        const bool opened = encoder.open(settings, &error);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(encoder.lastError(), error);
        return !opened && !encoder.isOpen();
    };
    EncoderSettings mpeg4Fixed;
    mpeg4Fixed.fixedParameterSets = true;
    EXPECT_TRUE(refused(mpeg4Fixed));
    EncoderSettings wrongSize = fixedSetSettings(1, 2, 25);
    wrongSize.width = 720;
    EXPECT_TRUE(refused(wrongSize));
    EncoderSettings noSet = fixedSetSettings(1, 0, 25);
    noSet.resolutionCode = 3;
    EXPECT_TRUE(refused(noSet));
    noSet.resolutionCode = 0;
    noSet.videoStandardBit = 2;
    EXPECT_TRUE(refused(noSet));
    EncoderSettings odd;
    odd.width = 351;
    EXPECT_TRUE(refused(odd));
    EncoderSettings noRate;
    noRate.framesPerSecond = 0;
    EXPECT_TRUE(refused(noRate));
    EncoderSettings noKeys;
    noKeys.keyInterval = 0;
    EXPECT_TRUE(refused(noKeys));
    EncoderSettings noBits;
    noBits.bitRate = 0;
    EXPECT_TRUE(refused(noBits));
}

TEST_F(VideoEncoderTest, EncodeRefusesBadInputWithoutOutput) {
    VideoEncoder encoder;
    const std::vector<uint8_t> picture = orvix::test::movingPattern(352, 288, 0);
    EncodedPicture out;
    out.bytes = {1, 2, 3};
    EXPECT_FALSE(encoder.encode(picture.data(), 352 * 4, out));  // not open
    EXPECT_TRUE(out.bytes.empty());
    ASSERT_TRUE(encoder.open(EncoderSettings{}));
    EXPECT_FALSE(encoder.encode(nullptr, 352 * 4, out));
    EXPECT_FALSE(encoder.encode(picture.data(), 352 * 4 - 1, out));
    EXPECT_TRUE(encoder.encode(picture.data(), 352 * 4, out)) << encoder.lastError();
    EXPECT_TRUE(out.key);
    encoder.close();
    EXPECT_FALSE(encoder.encode(picture.data(), 352 * 4, out));
}

}  // namespace
