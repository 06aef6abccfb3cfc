#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "link/recorder_connection.h"
#include "media/video_decoder.h"
#include "tests/support/pipeline_support.h"

namespace orvix {
namespace {

using test::Packet;

// The decoder's notice of a missing parameter set is a debug line, checked
// below; debug output must be on before the first line is written.
const bool kDebugOn = [] { return setenv("ORVIX_DEBUG", "1", 1) == 0; }();

constexpr uint8_t kPal704x576 = 0x0A;  // standard bit 1, resolution code 2

// A decoder opened for a raw-stream model, and the connection it reads the
// configuration memory and the selected channel from.
struct RawDecoding {
    DeviceRecord* record = createRecord();
    RecorderConnection connection;
    VideoDecoder decoder;

    RawDecoding() {
        record->modelIndex = 26;
        connection.record = record;
        EXPECT_EQ(decoder.open(720, 576, *record), 1);
    }
    ~RawDecoding() { destroyRecord(record); }

    DecodedPicture decode(const Packet& packet) { return decoder.decodeRaw(packet.data(), packet.size(), connection); }
};

const Packet kNotAPicture(200, 0x5A);

TEST(RawPath, ConfigurationMemoryStartsWithNoSetSent) {
    RecorderConnection connection;
    EXPECT_EQ(connection.rawConfig, 100);
}

TEST(RawPath, NonKeyPicturesAreDroppedUntilAKeyPictureBringsItsSet) {
    RawDecoding raw;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(raw.decode(test::rawPacket(kNotAPicture, 0, 0, false, kPal704x576)));
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 0u);
    EXPECT_EQ(raw.connection.rawConfig, 100);
}

TEST(RawPath, AnotherChannelIsDroppedAndForgetsTheSetSent) {
    RawDecoding raw;
    raw.record->currentChannel = 3;
    raw.connection.rawConfig = 2;
    EXPECT_FALSE(raw.decode(test::rawPacket(kNotAPicture, 0, 1, true, kPal704x576)));
    EXPECT_EQ(raw.connection.rawConfig, 10);
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 0u);
}

TEST(RawPath, PayloadLengthBeyondThePacketIsDropped) {
    RawDecoding raw;
    Packet packet = test::rawPacket(kNotAPicture, 0, 0, true, kPal704x576);
    packet.resize(32 + 100);  // the header still claims 200 bytes
    EXPECT_FALSE(raw.decode(packet));
    EXPECT_FALSE(raw.decode(Packet(31, 0)));
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 0u);
}

TEST(RawPath, KeyPictureThatGivesNoPictureMakesTheNextKeyPictureCarryTheSetAgain) {
    RawDecoding raw;
    EXPECT_FALSE(raw.decode(test::rawPacket(kNotAPicture, 0, 0, true, kPal704x576)));
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 1u);
    EXPECT_EQ(raw.connection.rawConfig, 10);
    // The memory no longer matches: a non-key picture waits for a key picture.
    EXPECT_FALSE(raw.decode(test::rawPacket(kNotAPicture, 0, 0, false, kPal704x576)));
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 1u);
}

TEST(RawPath, CodesWithoutParameterSetAreDroppedAndReportedOnce) {
    RawDecoding raw;
    raw.connection.rawConfig = 2;
    testing::internal::CaptureStderr();
    for (uint8_t code = 3; code <= 7; ++code) {
        EXPECT_FALSE(raw.decode(test::rawPacket(kNotAPicture, 0, 0, true, static_cast<uint8_t>(0x08 | code))));
        EXPECT_EQ(raw.connection.rawConfig, 10);
    }
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 0u);
    const std::string line = "no parameter set for resolution code 3";
    ASSERT_NE(output.find(line), std::string::npos) << output;
    EXPECT_EQ(output.find("no parameter set", output.find(line) + 1), std::string::npos) << output;
}

}  // namespace
}  // namespace orvix

namespace orvix {
namespace {

using test::EncodedStream;
using test::RgbImage;

constexpr uint8_t kPal352x288 = 0x08;  // standard bit 1, resolution code 0

void expectPicture(const DecodedPicture& picture, const RgbImage& reference) {
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture.width, reference.width);
    EXPECT_EQ(picture.height, reference.height);
    EXPECT_GE(test::psnr(reference, picture.pixels, picture.width, picture.height), 40.0);
}

TEST(RawStream, EachConfigurationGetsTheParameterSetOfItsSize) {
    const struct {
        int standard, code, width, height;
    } sets[] = {{0, 0, 352, 240}, {0, 1, 704, 240}, {0, 2, 704, 480},
                {1, 0, 352, 288}, {1, 1, 704, 288}, {1, 2, 704, 576}};
    for (const auto& set : sets) {
        SCOPED_TRACE(testing::Message() << "standard " << set.standard << " code " << set.code);
        const EncodedStream stream = test::encodeRawPattern(set.standard, set.code, 1, 2);
        ASSERT_EQ(stream.packets.size(), 1u);
        const auto reference =
            test::referenceDecode("h264", {test::withParameterSet(set.standard, set.code, stream.packets[0])});
        RawDecoding raw;
        const uint8_t coding = static_cast<uint8_t>(set.standard << 3 | set.code);
        const DecodedPicture picture = raw.decode(test::rawPacket(stream.packets[0], 0, 0, true, coding));
        EXPECT_EQ(picture.width, set.width);
        EXPECT_EQ(picture.height, set.height);
        expectPicture(picture, reference[0]);
        EXPECT_EQ(raw.connection.rawConfig, set.code);
    }
}

TEST(RawStream, PicturesBeforeTheFirstKeyPictureAreDroppedAndItCarriesTheSet) {
    const EncodedStream stream = test::encodeRawPattern(1, 0, 8, 4);
    ASSERT_EQ(stream.packets.size(), 8u);
    ASSERT_TRUE(stream.keys[4]);
    RawDecoding raw;
    // The stream is joined at picture 1: pictures 1-3 need what came before.
    for (size_t i = 1; i < 4; ++i) {
        ASSERT_FALSE(stream.keys[i]);
        EXPECT_FALSE(raw.decode(test::rawPacket(stream.packets[i], 0, 0, false, kPal352x288)));
    }
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 0u);

    const auto reference = test::referenceDecode(
        "h264", {test::withParameterSet(1, 0, stream.packets[4]), stream.packets[5], stream.packets[6],
                 stream.packets[7]});
    for (size_t i = 4; i < 8; ++i) {
        SCOPED_TRACE(i);
        expectPicture(raw.decode(test::rawPacket(stream.packets[i], 0, 0, stream.keys[i], kPal352x288)),
                      reference[i - 4]);
    }
    EXPECT_EQ(raw.decoder.counters().parameterSetsSent, 1u);
    // The first picture sets the output size: scaler built, packet decoded twice.
    EXPECT_EQ(raw.decoder.counters().scalerBuilds, 1u);
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 5u);
    EXPECT_EQ(raw.connection.rawConfig, 0);
}

TEST(RawStream, ResolutionCodeTwoToZeroSendsTheSmallSetAndRebuildsTheScaler) {
    const EncodedStream large = test::encodeRawPattern(1, 2, 3, 3);
    const EncodedStream small = test::encodeRawPattern(1, 0, 3, 3, 20);
    const auto reference = test::referenceDecode(
        "h264", {test::withParameterSet(1, 2, large.packets[0]), large.packets[1], large.packets[2],
                 test::withParameterSet(1, 0, small.packets[0]), small.packets[1], small.packets[2]});
    RawDecoding raw;
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        expectPicture(raw.decode(test::rawPacket(large.packets[i], 0, 0, large.keys[i], kPal704x576)), reference[i]);
    }
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 3);
        const DecodedPicture picture = raw.decode(test::rawPacket(small.packets[i], 0, 0, small.keys[i], kPal352x288));
        EXPECT_EQ(picture.width, 352);
        expectPicture(picture, reference[i + 3]);
    }
    EXPECT_EQ(raw.decoder.counters().parameterSetsSent, 2u);
    EXPECT_EQ(raw.decoder.counters().scalerBuilds, 2u);
    EXPECT_EQ(raw.decoder.counters().decodeCalls, 8u);  // both first pictures twice
}

TEST(RawStream, AfterAFailedDecodeTheNextKeyPictureCarriesTheSetAgain) {
    const EncodedStream stream = test::encodeRawPattern(1, 0, 6, 3);
    ASSERT_TRUE(stream.keys[3]);
    const auto reference =
        test::referenceDecode("h264", {test::withParameterSet(1, 0, stream.packets[0]), stream.packets[1],
                                       test::withParameterSet(1, 0, stream.packets[3]), stream.packets[4]});
    RawDecoding raw;
    expectPicture(raw.decode(test::rawPacket(stream.packets[0], 0, 0, true, kPal352x288)), reference[0]);
    expectPicture(raw.decode(test::rawPacket(stream.packets[1], 0, 0, false, kPal352x288)), reference[1]);
    // A packet without payload gives no picture.
    EXPECT_FALSE(raw.decode(test::rawPacket({}, 0, 0, false, kPal352x288)));
    EXPECT_EQ(raw.connection.rawConfig, 10);
    const uint64_t callsBefore = raw.decoder.counters().decodeCalls;
    EXPECT_FALSE(raw.decode(test::rawPacket(stream.packets[2], 0, 0, false, kPal352x288)));
    EXPECT_EQ(raw.decoder.counters().decodeCalls, callsBefore);

    expectPicture(raw.decode(test::rawPacket(stream.packets[3], 0, 0, true, kPal352x288)), reference[2]);
    EXPECT_EQ(raw.decoder.counters().parameterSetsSent, 2u);
    expectPicture(raw.decode(test::rawPacket(stream.packets[4], 0, 0, false, kPal352x288)), reference[3]);
    EXPECT_EQ(raw.decoder.counters().parameterSetsSent, 2u);
}

}  // namespace
}  // namespace orvix
