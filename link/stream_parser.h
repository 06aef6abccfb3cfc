// Cutting the received byte stream into command and video packets.
//
// Packets are found by their start and end markers, may span any number of
// chunks, and are assembled in the connection's assembly buffer. Command
// packets are decoded and handed to the handler; video packets pass the
// filter (kind, mode, channel, key frame, length, resynchronisation) and go
// to the handler's video hand-over, which the link thread points at the ring.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/frame_ring.h"

namespace orvix {

class RecorderConnection;

// Parser states: 0 hunts for a start marker; each packet kind has a
// collecting state (odd) and a complete state (the next even number).
enum ParserStateCode : int {
    kParserHunting = 0,
    kCollectingCommand = 1,
    kCollectingF2 = 3,
    kCollectingF5 = 5,
    kCollectingBadj = 7,
    kCollectingNdav = 9,
    kCollectingNda = 11,
};

// Marker register values of the video packets (bytes on the wire in order).
constexpr uint32_t kF2StartMarker = 0x000001F2;
constexpr uint32_t kF3StartMarker = 0x000001F3;
constexpr uint32_t kF5StartMarker = 0x000001F5;
constexpr uint32_t kBadjStartMarker = 0x4241444A;  // "BADJ"
constexpr uint32_t kNdavStartMarker = 0x4E444156;  // "NDAV"
constexpr uint32_t kNdaStartMarker = 0x4E444160;   // "NDA`"

// Every video length rule adds a 32-byte header and the 4-byte end marker.
constexpr size_t kVideoPacketOverhead = 36;

class StreamHandler {
public:
    virtual ~StreamHandler() = default;
    // A decoded command; `payload` points into the connection's decode buffer
    // and stays valid until the next packet is parsed.
    virtual void onCommand(uint32_t code, const uint8_t* payload, size_t length) = 0;
    // A video packet that passed the filter, start marker first.
    virtual void onVideo(const uint8_t* packet, size_t length, PushDiscipline discipline) = 0;
    // A video packet of a shown channel set (several channels at once) that
    // passed the filter, start marker first; the link thread hands it to
    // that channel's queue. Ignored unless a handler takes sets.
    virtual void onChannelVideo(int channel, bool keyPicture, const uint8_t* packet, size_t length) {
        (void)channel;
        (void)keyPicture;
        (void)packet;
        (void)length;
    }
};

// The recorder stream: command packets of both framings (the framing of each
// is stored in the record when its start marker is seen) and the five video
// kinds. Returns when the chunk is consumed, or at once when the link thread
// state is 7. A packet that would grow past the assembly buffer is dropped
// and the parser hunts again from the first byte that did not fit.
void parseRecorderStream(RecorderConnection& connection, const uint8_t* bytes, size_t count,
                         StreamHandler& handler);

// The DDNS server's stream: command packets only, decoded by the Wide rule
// while the record's model index is of the Wide or Plain class; only
// COMMAND_DDNS_READY and COMMAND_DDNS_INFO reach the handler.
void parseDdnsStream(RecorderConnection& connection, const uint8_t* bytes, size_t count, StreamHandler& handler);

// Back to hunting with an empty assembly (a new TCP stream begins).
void resetStreamParser(RecorderConnection& connection);

}  // namespace orvix
