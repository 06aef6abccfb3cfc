#include "tests/link/stream_builders.h"

#include <algorithm>

#include "link/stream_parser.h"

namespace orvix::test {

Bytes commandPacket(FramingKind framing, uint32_t code, const Bytes& payload) {
    // Framed here rather than with frameCommand, which stops at the send
    // limit: a recorder may send longer packets.
    Bytes out(8);
    if (framing == FramingKind::Wide) {
        writeBe32(out.data(), kWideStartMarker);
        out[4] = static_cast<uint8_t>(code);
        out[5] = 0xFF;
        out[6] = static_cast<uint8_t>(code >> 8);
        out[7] = 0xFF;
        for (uint8_t b : payload) {
            out.push_back(b);
            out.push_back(0xFF);
        }
    } else {
        writeBe32(out.data(), kPlainStartMarker);
        writeLe32(out.data() + 4, code);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    out.resize(out.size() + 4);
    writeBe32(out.data() + out.size() - 4, framing == FramingKind::Wide ? kWideEndMarker : kPlainEndMarker);
    return out;
}

Bytes videoPacket(const VideoParams& s) {
    Bytes p(32 + s.payloadBytes + s.extraBytes + 4, 0);
    const bool nendOnly = s.kind == VideoKind::Badj || s.kind == VideoKind::Ndav || s.kind == VideoKind::Nda;
    uint32_t marker = kF5StartMarker;
    switch (s.kind) {
    case VideoKind::F2: marker = kF2StartMarker; break;
    case VideoKind::F3: marker = kF3StartMarker; break;
    case VideoKind::F5: marker = kF5StartMarker; break;
    case VideoKind::Badj: marker = kBadjStartMarker; break;
    case VideoKind::Ndav: marker = kNdavStartMarker; break;
    case VideoKind::Nda: marker = kNdaStartMarker; break;
    }
    writeBe32(p.data(), marker);
    const uint32_t length = static_cast<uint32_t>(s.payloadBytes);
    if (s.kind == VideoKind::Ndav) {
        p[4] = static_cast<uint8_t>(s.channel);
        p[5] = static_cast<uint8_t>(s.frameType >= 0 ? s.frameType : (s.key ? 0 : 1));
        writeLe32(p.data() + 8, s.time);
        writeLe32(p.data() + 12, length);
        p[28] = s.streamKind;
    } else {
        const int frameType = s.frameType >= 0 ? s.frameType : (s.key ? 1 : 2);
        p[8] = static_cast<uint8_t>((frameType << 4) | (s.channel & 0x0F));
        if (s.kind == VideoKind::Badj) {
            writeBe32(p.data() + 4, s.time);
            p[12] = static_cast<uint8_t>((length / 4) >> 8);
            p[13] = static_cast<uint8_t>(length / 4);
            p[24] = s.streamKind;
        } else if (s.kind == VideoKind::Nda) {
            writeLe32(p.data() + 4, s.time);
            writeLe32(p.data() + 16, length);
            p[22] = s.streamKind;
        } else {
            writeLe32(p.data() + 4, s.time);
            if (s.kind == VideoKind::F5) {
                writeLe32(p.data() + 12, length);
            } else {
                writeLe16(p.data() + 12, static_cast<uint16_t>(length / 32));
            }
            p[24] = s.streamKind;
        }
    }
    for (size_t i = 32; i < p.size() - 4; ++i) p[i] = 0x55;
    if (s.payloadBytes + s.extraBytes > 0) p[32] = s.tag;
    const bool plainEnd = nendOnly || (s.kind == VideoKind::F5 && s.plainEnd);
    writeBe32(p.data() + p.size() - 4, plainEnd ? kPlainEndMarker : kWideEndMarker);
    return p;
}

Bytes description(uint32_t modelCode, uint16_t protocolVersion, int16_t cameras) {
    Bytes d(552, 0);
    writeLe32(d.data(), modelCode);
    writeLe16(d.data() + 4, static_cast<uint16_t>(cameras));
    writeLe16(d.data() + 12, protocolVersion);
    for (int i = 0; i < cameras && i < 16; ++i) {
        d[40 + 32 * i] = 'C';
        d[41 + 32 * i] = static_cast<uint8_t>('1' + i);
    }
    return d;
}

Bytes loginOkPayload(uint32_t flags, uint32_t v0, uint32_t v1, uint32_t v2, uint32_t v3) {
    Bytes p(24, 0);
    writeLe32(p.data() + 4, flags);
    writeLe32(p.data() + 8, v0);
    writeLe32(p.data() + 12, v1);
    writeLe32(p.data() + 16, v2);
    writeLe32(p.data() + 20, v3);
    return p;
}

Bytes f5Header64Packet(const Bytes& payload, uint32_t seconds, int channel, bool key) {
    // Sized once and filled in place: GCC 12 at -O2 misreads appends to a
    // 64-byte vector as writes past it (-Warray-bounds).
    Bytes packet(64 + payload.size() + 4, 0);
    packet[2] = 0x01;
    packet[3] = 0xF5;
    writeLe32(packet.data() + 4, seconds);
    packet[8] = static_cast<uint8_t>((channel & 0x0F) | ((key ? 1 : 2) << 4));
    writeLe32(packet.data() + 12, static_cast<uint32_t>(payload.size() + 32));
    std::copy(payload.begin(), payload.end(), packet.begin() + 64);
    const uint8_t end[4] = {0x00, 0x00, 0x01, 0xB4};
    std::copy(end, end + 4, packet.end() - 4);
    return packet;
}

Bytes twoValues(uint32_t first, uint32_t second) {
    Bytes p(8);
    writeLe32(p.data(), first);
    writeLe32(p.data() + 4, second);
    return p;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace orvix::test
