#include <gtest/gtest.h>

#include <vector>

#include "link/wire_format.h"
#include "tests/link/hex.h"

using namespace orvix;
using orvix::test::hexBytes;

TEST(WireFormat, WideDataRequestIsSixtyBytes) {
    std::vector<uint8_t> payload(24);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
    uint8_t out[kFrameBufferSize];
    ASSERT_EQ(frameCommand(FramingKind::Wide, 6, payload.data(), payload.size(), out, sizeof out), 60u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), hexBytes("00 00 AD C2 06 FF 00 FF"));
    EXPECT_EQ(std::vector<uint8_t>(out + 56, out + 60), hexBytes("00 00 01 B4"));
    for (size_t i = 0; i < payload.size(); ++i) {
        EXPECT_EQ(out[8 + 2 * i], payload[i]);
        EXPECT_EQ(out[9 + 2 * i], 0xFF);
    }
}

TEST(WireFormat, WideCommandFieldCarriesHighByte) {
    uint8_t out[32];
    ASSERT_EQ(frameCommand(FramingKind::Wide, 0x1234, nullptr, 0, out, sizeof out), 12u);
    EXPECT_EQ(std::vector<uint8_t>(out + 4, out + 8), hexBytes("34 FF 12 FF"));
}

TEST(WireFormat, PlainPtzIsTwentyEightBytesEndingNend) {
    uint8_t payload[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint8_t out[64];
    ASSERT_EQ(frameCommand(FramingKind::Plain, 53, payload, 16, out, sizeof out), 28u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), hexBytes("00 00 AD C3 35 00 00 00"));
    EXPECT_EQ(std::vector<uint8_t>(out + 8, out + 24), std::vector<uint8_t>(payload, payload + 16));
    EXPECT_EQ(std::vector<uint8_t>(out + 24, out + 28), hexBytes("4E 45 4E 44"));
}

TEST(WireFormat, FramingLimitRefusesOversizedPackets) {
    std::vector<uint8_t> payload(kFrameBufferSize);
    std::vector<uint8_t> out(kFrameBufferSize + 64, 0xEE);
    // Plain: N + 12 <= 61440.
    EXPECT_EQ(frameCommand(FramingKind::Plain, 1, payload.data(), 61428, out.data(), out.size()), 61440u);
    EXPECT_EQ(frameCommand(FramingKind::Plain, 1, payload.data(), 61429, out.data(), out.size()), 0u);
    // Wide: 2N + 12 <= 61440.
    EXPECT_EQ(frameCommand(FramingKind::Wide, 1, payload.data(), 30714, out.data(), out.size()), 61440u);
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(frameCommand(FramingKind::Wide, 1, payload.data(), 30715, out.data(), out.size()), 0u);
    EXPECT_EQ(out[0], 0xEE);  // nothing written
    // A buffer smaller than the packet is never written past.
    uint8_t small[20];
    EXPECT_EQ(frameCommand(FramingKind::Plain, 1, payload.data(), 9, small, sizeof small), 0u);
}

TEST(WireFormat, WideDecodeIgnoresFillerBytes) {
    uint8_t payload[5] = {0x10, 0x00, 0xFF, 0x7F, 0x01};
    uint8_t packet[32];
    size_t length = frameCommand(FramingKind::Wide, 17, payload, 5, packet, sizeof packet);
    ASSERT_EQ(length, 22u);
    for (size_t i = 5; i < length - 4; i += 2) packet[i] = static_cast<uint8_t>(0x30 + i);  // garbage fillers
    uint8_t decoded[16];
    DecodedCommand command;
    ASSERT_TRUE(decodeCommand(packet, length, FramingKind::Wide, decoded, sizeof decoded, command));
    EXPECT_EQ(command.code, 17u);
    ASSERT_EQ(command.payloadLength, 5u);
    EXPECT_EQ(std::vector<uint8_t>(decoded, decoded + 5), std::vector<uint8_t>(payload, payload + 5));
}

TEST(WireFormat, PlainDecodeRoundTrips) {
    uint8_t payload[8] = {1, 2, 3, 4, 0x4E, 0x45, 0x4E, 0x00};
    uint8_t packet[32];
    size_t length = frameCommand(FramingKind::Plain, 14, payload, 8, packet, sizeof packet);
    uint8_t decoded[8];
    DecodedCommand command;
    ASSERT_TRUE(decodeCommand(packet, length, FramingKind::Plain, decoded, sizeof decoded, command));
    EXPECT_EQ(command.code, 14u);
    EXPECT_EQ(command.payloadLength, 8u);
    EXPECT_EQ(std::vector<uint8_t>(decoded, decoded + 8), std::vector<uint8_t>(payload, payload + 8));
}

TEST(WireFormat, DecodeRejectsShortHugeAndOverflowingPackets) {
    uint8_t decoded[4];
    DecodedCommand command;
    std::vector<uint8_t> packet(kCommandPacketLimit, 0);
    EXPECT_FALSE(decodeCommand(packet.data(), 11, FramingKind::Plain, decoded, sizeof decoded, command));
    EXPECT_FALSE(decodeCommand(packet.data(), kCommandPacketLimit, FramingKind::Plain, decoded, sizeof decoded, command));
    // Below the packet limit but beyond the payload buffer: dropped, not written.
    std::vector<uint8_t> big(kDecodeBufferSize + 100);
    std::vector<uint8_t> payloadBuffer(kDecodeBufferSize);
    EXPECT_FALSE(decodeCommand(packet.data(), kDecodeBufferSize + 13, FramingKind::Plain, payloadBuffer.data(),
                               payloadBuffer.size(), command));
    EXPECT_TRUE(decodeCommand(packet.data(), kDecodeBufferSize + 12, FramingKind::Plain, payloadBuffer.data(),
                              payloadBuffer.size(), command));
    // Wide payloads are half the packet, so the largest legal one fits.
    EXPECT_TRUE(decodeCommand(packet.data(), kCommandPacketLimit - 1, FramingKind::Wide, payloadBuffer.data(),
                              payloadBuffer.size(), command));
    EXPECT_EQ(command.payloadLength, (kCommandPacketLimit - 13) / 2);
}
