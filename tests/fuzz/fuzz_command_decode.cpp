// Decoding of one received command packet, then the link's handling of it.
// Input: a byte whose low bit chooses the framing (0 Wide, 1 Plain) and
// whose upper bits give the protocol version, then the packet. A decoded
// command framed again and decoded again must give the same command.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/capabilities.h"
#include "link/device_description.h"
#include "link/wire_format.h"
#include "tests/fuzz/fuzz_harness.h"

using namespace orvix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Harness harness;
    static uint8_t frame[kFrameBufferSize];
    static uint8_t again[kDecodeBufferSize];
    if (size < 1) return 0;
    const FramingKind framing = (data[0] & 1) ? FramingKind::Plain : FramingKind::Wide;
    harness.reset(0, kLinkRecorderExchange);
    harness.record->modelIndex = framing == FramingKind::Plain ? 26 : 0;
    harness.record->protocolVersion = data[0] >> 1;

    uint8_t* payload = harness.connection.decodeBuffer.get();
    std::memset(payload, 0, 24);
    DecodedCommand command;
    if (!decodeCommand(data + 1, size - 1, framing, payload, kDecodeBufferSize, command)) return 0;
    if (command.payloadLength > kDecodeBufferSize) __builtin_trap();

    const size_t framed = frameCommand(framing, command.code, payload, command.payloadLength, frame, sizeof frame);
    if (framed != 0) {
        DecodedCommand second;
        if (!decodeCommand(frame, framed, framing, again, sizeof again, second)) __builtin_trap();
        if (second.code != command.code || second.payloadLength != command.payloadLength ||
            std::memcmp(again, payload, command.payloadLength) != 0)
            __builtin_trap();
    }

    storeDeviceDescription(*harness.record, payload, command.payloadLength);
    storeCapabilities(*harness.record, payload, command.payloadLength);
    harness.onCommand(command.code, payload, command.payloadLength);
    return 0;
}
