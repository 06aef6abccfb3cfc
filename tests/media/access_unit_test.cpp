// The step from a ring slot to a codec-ready access unit, on its own: what
// the decoder, the recording and the RTSP feed all rely on.
#include <gtest/gtest.h>

#include <limits>

#include "link/recorder_connection.h"
#include "media/access_unit.h"
#include "media/calendar_time.h"
#include "media/parameter_sets.h"
#include "tests/support/pipeline_support.h"

namespace orvix {
namespace {

using test::Packet;

constexpr uint8_t kPal704x576 = 0x0A;  // standard bit 1, resolution code 2
constexpr uint8_t kNtsc352x240 = 0x00;

const Packet kPayload = {0x00, 0x00, 0x01, 0x65, 0x11, 0x22, 0x33};

struct Step {
    AccessUnitStep step;
    AccessUnit unit;
};

Step read(const Packet& packet, FrameKind kind, int channel, uint8_t& memory) {
    Step s;
    s.step = readAccessUnit(packet.data(), packet.size(), kind, channel, memory, s.unit);
    return s;
}

TEST(AccessUnit, FramedKindsGiveChannelKeyTimeAndThePayloadBeforeTheEndMarker) {
    for (int header : {64, 32}) {
        SCOPED_TRACE(header);
        const FrameKind kind = header == 64 ? FrameKind::Header64 : FrameKind::Header32;
        uint8_t memory = kRawConfigInitial;
        const Packet key = test::headerPacket(header, kPayload, 1325376000, 2, true);
        const Step s = read(key, kind, 2, memory);
        ASSERT_EQ(s.step, AccessUnitStep::Ready);
        EXPECT_EQ(s.unit.channel, 2);
        EXPECT_TRUE(s.unit.keyPicture);
        EXPECT_EQ(s.unit.recorderSeconds, 1325376000);
        EXPECT_EQ(s.unit.parameterSet, nullptr);
        ASSERT_EQ(s.unit.payloadLength, kPayload.size());
        EXPECT_EQ(Packet(s.unit.payload, s.unit.payload + s.unit.payloadLength), kPayload);

        EXPECT_FALSE(read(test::headerPacket(header, kPayload, 0, 2, false), kind, 2, memory).unit.keyPicture);
        EXPECT_EQ(read(key, kind, 3, memory).step, AccessUnitStep::OtherChannel);
        // A header and end marker with nothing between them is no picture.
        const Packet empty = test::headerPacket(header, {}, 0, 2, true);
        EXPECT_EQ(read(empty, kind, 2, memory).step, AccessUnitStep::TooShort);
        EXPECT_EQ(memory, kRawConfigInitial);  // framed kinds never touch it
    }
    uint8_t memory = kRawConfigInitial;
    EXPECT_EQ(read(test::headerPacket(64, kPayload, 0, 0, true), FrameKind::None, 0, memory).step,
              AccessUnitStep::NoKind);
}

TEST(AccessUnit, RawStreamTakesItsParameterSetWithTheFirstKeyPictureOfEachConfiguration) {
    uint8_t memory = kRawConfigInitial;
    const RawParameterSet* pal = rawParameterSet(1, 2);

    // Nothing decodes before the first key picture; the memory stays.
    EXPECT_EQ(read(test::rawPacket(kPayload, 10, 0, false, kPal704x576), FrameKind::Header32Raw, 0, memory).step,
              AccessUnitStep::WaitingForKey);
    EXPECT_EQ(memory, kRawConfigInitial);

    Step s = read(test::rawPacket(kPayload, 10, 0, true, kPal704x576), FrameKind::Header32Raw, 0, memory);
    ASSERT_EQ(s.step, AccessUnitStep::Ready);
    EXPECT_EQ(s.unit.parameterSet, pal->bytes);
    EXPECT_EQ(s.unit.parameterSetLength, pal->length);
    EXPECT_EQ(s.unit.length(), pal->length + kPayload.size());
    EXPECT_EQ(s.unit.recorderSeconds, 10 + int64_t{kRawTimeOffset});
    EXPECT_EQ(memory, 2);

    // The same configuration goes on without the set, key pictures too.
    s = read(test::rawPacket(kPayload, 10, 0, false, kPal704x576), FrameKind::Header32Raw, 0, memory);
    EXPECT_EQ(s.step, AccessUnitStep::Ready);
    EXPECT_EQ(s.unit.parameterSet, nullptr);
    EXPECT_EQ(read(test::rawPacket(kPayload, 10, 0, true, kPal704x576), FrameKind::Header32Raw, 0, memory)
                  .unit.parameterSet,
              nullptr);

    // A new configuration waits for its key picture, which carries its set.
    EXPECT_EQ(read(test::rawPacket(kPayload, 11, 0, false, kNtsc352x240), FrameKind::Header32Raw, 0, memory).step,
              AccessUnitStep::WaitingForKey);
    s = read(test::rawPacket(kPayload, 11, 0, true, kNtsc352x240), FrameKind::Header32Raw, 0, memory);
    ASSERT_EQ(s.step, AccessUnitStep::Ready);
    EXPECT_EQ(s.unit.parameterSet, rawParameterSet(0, 0)->bytes);
    EXPECT_EQ(memory, 0);
}

TEST(AccessUnit, RawStreamForgetsItsSetOnAnotherChannelABrokenLengthOrACodeWithoutSet) {
    const Packet key = test::rawPacket(kPayload, 0, 1, true, kPal704x576);
    uint8_t memory = 2;
    EXPECT_EQ(read(key, FrameKind::Header32Raw, 0, memory).step, AccessUnitStep::OtherChannel);
    EXPECT_EQ(memory, kRawConfigAfterFailure);
    EXPECT_NE(read(key, FrameKind::Header32Raw, 1, memory).unit.parameterSet, nullptr);

    Packet cut = key;
    cut.resize(32 + kPayload.size() - 1);  // the header still claims the whole payload
    memory = 2;
    EXPECT_EQ(read(cut, FrameKind::Header32Raw, 1, memory).step, AccessUnitStep::TooShort);
    EXPECT_EQ(memory, kRawConfigAfterFailure);
    // Shorter than the header: dropped, the memory as it was.
    memory = 2;
    EXPECT_EQ(read(Packet(31, 0), FrameKind::Header32Raw, 0, memory).step, AccessUnitStep::TooShort);
    EXPECT_EQ(memory, 2);

    memory = 2;
    const Step s = read(test::rawPacket(kPayload, 0, 1, true, 0x0B), FrameKind::Header32Raw, 1, memory);
    EXPECT_EQ(s.step, AccessUnitStep::NoParameterSet);
    EXPECT_EQ(s.unit.resolutionCode, 3);
    EXPECT_EQ(memory, kRawConfigAfterFailure);
}

TEST(AccessUnit, OverlaySecondsPastTheSignedRangeCountAsBefore1970) {
    EXPECT_EQ(overlaySeconds(0), 0);
    EXPECT_EQ(overlaySeconds(std::numeric_limits<int32_t>::max()), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(overlaySeconds(int64_t{0xFFFFFFFF} + kRawTimeOffset), -1);
}

}  // namespace
}  // namespace orvix
