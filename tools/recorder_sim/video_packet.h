// The video packets the simulated recorder writes: the five wire kinds with
// the header fields the client's stream parser checks, laid out so that the
// display side finds the picture time, channel and payload where the
// model's frame kind says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace orvix::sim {

enum class VideoPacketKind { F2, F5, Badj, Ndav, Nda };

const char* packetKindName(VideoPacketKind kind);  // "f2", "f5", "badj", "ndav", "nda"
std::optional<VideoPacketKind> packetKindFromName(std::string_view name);

// Stream-kind bytes: live 0; search 8 (NDAV: 1).
constexpr uint8_t kLiveStreamKind = 0;
constexpr uint8_t kSearchStreamKind = 8;
constexpr uint8_t kNdavSearchStreamKind = 1;

// The longest packet the client can assemble.
constexpr size_t kMaxVideoPacket = 262144;

struct VideoPacketHeader {
    VideoPacketKind kind = VideoPacketKind::F5;
    // 32, or 64 for models whose pictures carry a 64-byte header (the wire
    // fields stay in the first 32 bytes, the rest is zero).
    int headerBytes = 32;
    int channel = 0;       // 0-15
    bool key = true;
    uint32_t time = 0;     // seconds since 1970 (NDAV carries it since 2008)
    bool search = false;   // playback: the search range's stream-kind byte
    uint8_t codingConfiguration = 0;  // NDAV: resolution code, video standard bit 3
};

// Header, then the picture (F2 and BADJ padded with zero bytes to their
// length units), then the end marker. False, leaving `out` empty, when the
// packet would not fit the client's buffers or its length field.
bool buildVideoPacket(const VideoPacketHeader& header, const uint8_t* picture, size_t pictureLength,
                      std::vector<uint8_t>& out);

// True when an end marker that the client accepts for this kind occurs
// before the packet's own end marker; such a packet would be cut short.
bool hasEarlyEndMarker(VideoPacketKind kind, const uint8_t* packet, size_t length);

}  // namespace orvix::sim
