#include "link/wire_format.h"

#include <cstring>

namespace orvix {

size_t frameCommand(FramingKind kind, uint32_t code, const uint8_t* payload, size_t payloadLength,
                    uint8_t* out, size_t capacity) {
    if (payloadLength > kFrameBufferSize) return 0;
    const size_t total = framedLength(kind, payloadLength);
    if (total > kFrameBufferSize || total > capacity) return 0;

    if (kind == FramingKind::Wide) {
        writeBe32(out, kWideStartMarker);
        // Every second byte is FF, so 00 00 cannot occur inside the packet.
        out[4] = static_cast<uint8_t>(code & 0xFF);
        out[5] = 0xFF;
        out[6] = static_cast<uint8_t>((code >> 8) & 0xFF);
        out[7] = 0xFF;
        uint8_t* p = out + 8;
        for (size_t i = 0; i < payloadLength; ++i) {
            *p++ = payload[i];
            *p++ = 0xFF;
        }
        writeBe32(p, kWideEndMarker);
    } else {
        writeBe32(out, kPlainStartMarker);
        writeLe32(out + 4, code);
        if (payloadLength > 0) std::memcpy(out + 8, payload, payloadLength);
        writeBe32(out + 8 + payloadLength, kPlainEndMarker);
    }
    return total;
}

bool decodeCommand(const uint8_t* packet, size_t length, FramingKind kind, uint8_t* payload,
                   size_t capacity, DecodedCommand& out) {
    if (packet == nullptr || length < kPacketOverhead || length >= kCommandPacketLimit) return false;
    if (kind == FramingKind::Wide) {
        const size_t count = (length - kPacketOverhead) / 2;
        if (count > capacity) return false;
        out.code = static_cast<uint32_t>(packet[4]) | (static_cast<uint32_t>(packet[6]) << 8);
        for (size_t i = 0; i < count; ++i) payload[i] = packet[8 + 2 * i];
        out.payloadLength = count;
    } else {
        const size_t count = length - kPacketOverhead;
        if (count > capacity) return false;
        out.code = readLe32(packet + 4);
        if (count > 0) std::memcpy(payload, packet + 8, count);
        out.payloadLength = count;
    }
    return true;
}

}  // namespace orvix
