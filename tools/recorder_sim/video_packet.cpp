#include "tools/recorder_sim/video_packet.h"

#include <algorithm>

#include "link/stream_parser.h"
#include "link/wire_format.h"
#include "media/calendar_time.h"

namespace orvix::sim {
namespace {

constexpr uint8_t kFrameTypeKey = 1;
constexpr uint8_t kFrameTypeOther = 2;

constexpr uint8_t kF2Start[4] = {0x00, 0x00, 0x01, 0xF2};
constexpr uint8_t kF5Start[4] = {0x00, 0x00, 0x01, 0xF5};
constexpr uint8_t kBadjStart[4] = {'B', 'A', 'D', 'J'};
constexpr uint8_t kNdavStart[4] = {'N', 'D', 'A', 'V'};
constexpr uint8_t kNdaStart[4] = {'N', 'D', 'A', '`'};
constexpr uint8_t kShortEnd[4] = {0x00, 0x00, 0x01, 0xB4};
constexpr uint8_t kNendEnd[4] = {'N', 'E', 'N', 'D'};

void writeBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// The body is everything between the 32-byte wire header and the end marker.
size_t unitFor(VideoPacketKind kind) {
    switch (kind) {
        case VideoPacketKind::F2:
            return 32;
        case VideoPacketKind::Badj:
            return 4;
        default:
            return 1;
    }
}

}  // namespace

const char* packetKindName(VideoPacketKind kind) {
    switch (kind) {
        case VideoPacketKind::F2:
            return "f2";
        case VideoPacketKind::F5:
            return "f5";
        case VideoPacketKind::Badj:
            return "badj";
        case VideoPacketKind::Ndav:
            return "ndav";
        case VideoPacketKind::Nda:
            return "nda";
    }
    return "?";
}

std::optional<VideoPacketKind> packetKindFromName(std::string_view name) {
    for (VideoPacketKind kind : {VideoPacketKind::F2, VideoPacketKind::F5, VideoPacketKind::Badj,
                                 VideoPacketKind::Ndav, VideoPacketKind::Nda}) {
        if (name == packetKindName(kind)) return kind;
    }
    return std::nullopt;
}

bool buildVideoPacket(const VideoPacketHeader& h, const uint8_t* picture, size_t pictureLength,
                      std::vector<uint8_t>& out) {
    out.clear();
    if (h.channel < 0 || h.channel > 15 || (h.headerBytes != 32 && h.headerBytes != 64)) return false;
    if (picture == nullptr && pictureLength != 0) return false;
    const size_t unit = unitFor(h.kind);
    const size_t content = static_cast<size_t>(h.headerBytes - 32) + pictureLength;
    const size_t body = (content + unit - 1) / unit * unit;
    if (body + kVideoPacketOverhead > kMaxVideoPacket) return false;
    if ((h.kind == VideoPacketKind::F2 || h.kind == VideoPacketKind::Badj) && body / unit > 0xFFFF) return false;

    out.assign(32 + body + 4, 0);
    uint8_t* p = out.data();
    const uint8_t typeAndChannel =
        static_cast<uint8_t>(((h.key ? kFrameTypeKey : kFrameTypeOther) << 4) | (h.channel & 0x0F));
    const uint8_t streamKind = h.search ? kSearchStreamKind : kLiveStreamKind;
    const uint8_t* end = kNendEnd;
    switch (h.kind) {
        case VideoPacketKind::F2:
            std::copy(kF2Start, kF2Start + 4, p);
            writeLe32(p + 4, h.time);
            p[8] = typeAndChannel;
            writeLe16(p + 12, static_cast<uint16_t>(body / 32));
            p[24] = streamKind;
            end = kShortEnd;
            break;
        case VideoPacketKind::F5:
            std::copy(kF5Start, kF5Start + 4, p);
            writeLe32(p + 4, h.time);
            p[8] = typeAndChannel;
            writeLe32(p + 12, static_cast<uint32_t>(body));
            p[24] = streamKind;
            end = kShortEnd;
            break;
        case VideoPacketKind::Badj:
            // Time and length travel big-endian; the client turns them round.
            std::copy(kBadjStart, kBadjStart + 4, p);
            writeBe32(p + 4, h.time);
            p[8] = typeAndChannel;
            writeBe16(p + 12, static_cast<uint16_t>(body / 4));
            p[24] = streamKind;
            break;
        case VideoPacketKind::Ndav:
            std::copy(kNdavStart, kNdavStart + 4, p);
            p[4] = static_cast<uint8_t>(h.channel);
            p[5] = h.key ? 0 : 1;
            writeLe32(p + 8, h.time > kRawTimeOffset ? h.time - kRawTimeOffset : 0);
            writeLe32(p + 12, static_cast<uint32_t>(body));
            p[20] = h.codingConfiguration;
            p[28] = h.search ? kNdavSearchStreamKind : kLiveStreamKind;
            break;
        case VideoPacketKind::Nda:
            std::copy(kNdaStart, kNdaStart + 4, p);
            writeLe32(p + 4, h.time);
            p[8] = typeAndChannel;
            writeLe32(p + 16, static_cast<uint32_t>(body));
            p[22] = streamKind;
            break;
    }
    if (pictureLength != 0) std::copy(picture, picture + pictureLength, p + h.headerBytes);
    std::copy(end, end + 4, p + out.size() - 4);
    return true;
}

bool hasEarlyEndMarker(VideoPacketKind kind, const uint8_t* packet, size_t length) {
    if (packet == nullptr || length < 8) return false;
    const bool shortEnd = kind == VideoPacketKind::F2 || kind == VideoPacketKind::F5;
    const bool nendEnd = kind != VideoPacketKind::F2;
    // The parser looks for the end from the byte after the start marker on;
    // its register still holds the marker's last bytes then.
    uint32_t reg = (uint32_t{packet[0]} << 24) | (uint32_t{packet[1]} << 16) | (uint32_t{packet[2]} << 8) | packet[3];
    for (size_t i = 4; i + 1 < length; ++i) {
        reg = (reg << 8) | packet[i];
        if ((shortEnd && reg == kWideEndMarker) || (nendEnd && reg == kPlainEndMarker)) return true;
    }
    return false;
}

}  // namespace orvix::sim
