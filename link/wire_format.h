// Command packet framing: the Wide and Plain framings, their limits, and the
// decoding of a received command packet.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvix {

enum class FramingKind : int32_t { Wide = 0, Plain = 1 };

// Markers as big-endian register values (the bytes on the wire in order).
constexpr uint32_t kWideStartMarker = 0x0000ADC2;
constexpr uint32_t kPlainStartMarker = 0x0000ADC3;
constexpr uint32_t kWideEndMarker = 0x000001B4;
constexpr uint32_t kPlainEndMarker = 0x4E454E44;  // "NEND"

constexpr size_t kPacketOverhead = 12;            // start marker, command, end marker
constexpr size_t kFrameBufferSize = 61440;        // largest framed packet sent
constexpr size_t kSendPayloadSize = 30720;        // payload build buffer
constexpr size_t kDecodeBufferSize = 61440;       // decoded payload buffer
constexpr size_t kCommandPacketLimit = 122880;    // received packets must be shorter

// Framed length of a command with `payloadLength` bytes.
constexpr size_t framedLength(FramingKind kind, size_t payloadLength) {
    return (kind == FramingKind::Wide ? 2 * payloadLength : payloadLength) + kPacketOverhead;
}

// Frames a command into `out`. Returns the framed length, or 0 (nothing
// written) when the packet would exceed kFrameBufferSize or `capacity`.
size_t frameCommand(FramingKind kind, uint32_t code, const uint8_t* payload, size_t payloadLength,
                    uint8_t* out, size_t capacity);

struct DecodedCommand {
    uint32_t code = 0;
    size_t payloadLength = 0;
};

// Decodes one received command packet (start marker to end marker inclusive).
// Wide: command = byte 4 | byte 6 << 8, payload byte i = byte 8 + 2i, the
// filler bytes ignored. Plain: 32-bit command at 4, payload bytes 8..end-4.
// Returns false, writing nothing, when the packet is shorter than 12 bytes,
// is 122880 bytes or longer, or its payload does not fit `capacity`.
bool decodeCommand(const uint8_t* packet, size_t length, FramingKind kind, uint8_t* payload,
                   size_t capacity, DecodedCommand& out);

// Little-endian field access for payloads.
inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void writeLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void writeBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

}  // namespace orvix
