#include <gtest/gtest.h>

#include <string>

#include "link/recorder_connection.h"
#include "tests/video/pipeline_support.h"
#include "video/video_decoder.h"

namespace orvix {
namespace {

using test::Packet;

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
