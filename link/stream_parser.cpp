#include "link/stream_parser.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "link/byte_scan.h"
#include "link/command_codes.h"
#include "link/model_class.h"
#include "link/recorder_connection.h"
#include "link/wire_format.h"

namespace orvix {
namespace {

// Handlers read response fields at fixed offsets up to here; bytes past a
// short payload read as zero instead of as an older packet's leftovers.
constexpr size_t kZeroedFieldBytes = 24;

bool stopRequested(const RecorderConnection& c) {
    return c.shared != nullptr && c.shared->threadState.load(std::memory_order_relaxed) == kLinkStopRequested;
}

int startState(uint32_t markerRegister, bool commandsOnly) {
    switch (markerRegister) {
    case kWideStartMarker:
    case kPlainStartMarker:
        return kCollectingCommand;
    case kF2StartMarker:
    case kF3StartMarker:
        return commandsOnly ? kParserHunting : kCollectingF2;
    case kF5StartMarker:
        return commandsOnly ? kParserHunting : kCollectingF5;
    case kBadjStartMarker:
        return commandsOnly ? kParserHunting : kCollectingBadj;
    case kNdavStartMarker:
        return commandsOnly ? kParserHunting : kCollectingNdav;
    case kNdaStartMarker:
        return commandsOnly ? kParserHunting : kCollectingNda;
    default:
        return kParserHunting;
    }
}

bool endsPacket(int state, uint32_t markerRegister) {
    const bool wideEnd = markerRegister == kWideEndMarker;
    const bool plainEnd = markerRegister == kPlainEndMarker;
    switch (state) {
    case kCollectingCommand:
    case kCollectingF5:
        return wideEnd || plainEnd;
    case kCollectingF2:
        return wideEnd;
    case kCollectingBadj:
    case kCollectingNdav:
    case kCollectingNda:
        return plainEnd;
    default:
        return false;
    }
}

// The last bytes of the end markers a collecting state accepts: only a byte
// equal to one of them can complete a marker.
struct FinalBytes {
    uint8_t first;
    uint8_t second;
};

FinalBytes finalBytes(int state) {
    constexpr uint8_t kWideLast = kWideEndMarker & 0xFF;    // 0xB4
    constexpr uint8_t kPlainLast = kPlainEndMarker & 0xFF;  // 'D'
    switch (state) {
    case kCollectingF2:
        return {kWideLast, kWideLast};
    case kCollectingBadj:
    case kCollectingNdav:
    case kCollectingNda:
        return {kPlainLast, kPlainLast};
    default:
        return {kWideLast, kPlainLast};
    }
}

// The marker register after bytes[from..to] (inclusive) were shifted in.
uint32_t registerAfter(uint32_t markerRegister, const uint8_t* bytes, size_t from, size_t to) {
    if (to - from >= 3) return (uint32_t{bytes[to - 3]} << 24) | (uint32_t{bytes[to - 2]} << 16) |
                               (uint32_t{bytes[to - 1]} << 8) | bytes[to];
    for (size_t k = from; k <= to; ++k) markerRegister = (markerRegister << 8) | bytes[k];
    return markerRegister;
}

// Decodes into the decode buffer; false when the packet is not accepted.
bool decodeInto(RecorderConnection& c, const uint8_t* packet, size_t length, FramingKind framing,
                DecodedCommand& out) {
    uint8_t* payload = c.decodeBuffer.get();
    if (!decodeCommand(packet, length, framing, payload, kDecodeBufferSize, out)) return false;
    if (out.payloadLength < kZeroedFieldBytes)
        std::memset(payload + out.payloadLength, 0, kZeroedFieldBytes - out.payloadLength);
    return true;
}

void handleRecorderCommand(RecorderConnection& c, const uint8_t* packet, size_t length, StreamHandler& h) {
    const FramingKind framing =
        c.record->framingKind.load() == static_cast<int32_t>(FramingKind::Plain) ? FramingKind::Plain
                                                                                  : FramingKind::Wide;
    DecodedCommand command;
    if (decodeInto(c, packet, length, framing, command))
        h.onCommand(command.code, c.decodeBuffer.get(), command.payloadLength);
}

void handleDdnsCommand(RecorderConnection& c, const uint8_t* packet, size_t length, StreamHandler& h) {
    if (!commandFraming(c.record->modelIndex.load())) return;
    DecodedCommand command;
    if (!decodeInto(c, packet, length, FramingKind::Wide, command)) return;
    if (command.code == COMMAND_DDNS_READY || command.code == COMMAND_DDNS_INFO)
        h.onCommand(command.code, c.decodeBuffer.get(), command.payloadLength);
}

// What the filter needs from a video packet's header.
struct VideoFields {
    int channel = 0;
    bool keyFrame = false;
    bool modeMatches = false;
    uint64_t requiredLength = 0;
};

bool inLiveRange(uint8_t kind) { return kind <= 7; }
bool inSearchRange(uint8_t kind) { return kind >= 8 && kind <= 15; }

// Reads the header of a packet of at least kVideoPacketOverhead bytes (BADJ's
// length field big-endian, as it arrives).
VideoFields readVideoFields(int state, const uint8_t* p, bool searchMode) {
    VideoFields f;
    const auto rangeMatches = [searchMode](uint8_t kind) {
        return searchMode ? inSearchRange(kind) : inLiveRange(kind);
    };
    switch (state) {
    case kCollectingNdav:
        f.channel = p[4];
        f.keyFrame = p[5] == 0;
        f.modeMatches = p[28] == (searchMode ? 1 : 0);
        f.requiredLength = uint64_t{readLe32(p + 12)} + kVideoPacketOverhead;
        return f;
    case kCollectingNda:
        f.channel = p[8] & 0x0F;
        f.keyFrame = (p[8] >> 4) == 1;
        f.modeMatches = rangeMatches(p[22]);
        f.requiredLength = uint64_t{readLe32(p + 16)} + kVideoPacketOverhead;
        return f;
    default:
        break;
    }
    // F2, F5 and BADJ share the channel, frame type and stream kind bytes.
    f.channel = p[8] & 0x0F;
    f.keyFrame = (p[8] >> 4) == 1;
    f.modeMatches = rangeMatches(p[24]);
    if (state == kCollectingF2) {
        f.requiredLength = 32 * uint64_t{readLe16(p + 12)} + kVideoPacketOverhead;
    } else if (state == kCollectingF5) {
        f.requiredLength = uint64_t{readLe32(p + 12)} + kVideoPacketOverhead;
    } else {
        f.requiredLength = 4 * uint64_t{static_cast<uint16_t>((p[12] << 8) | p[13])} + kVideoPacketOverhead;
    }
    return f;
}

void swapBadjFields(uint8_t* p) {
    std::swap(p[4], p[7]);
    std::swap(p[5], p[6]);
    std::swap(p[12], p[13]);
}

// BADJ's big-endian time and length go on in host order; the packet is
// changed in the assembly buffer, never in the caller's bytes.
const uint8_t* hostOrderBadj(RecorderConnection& c, const uint8_t* packet, size_t length) {
    uint8_t* assembly = c.assemblyBuffer.get();
    if (packet != assembly) std::memcpy(assembly, packet, length);
    swapBadjFields(assembly);
    return assembly;
}

// The filter for a set of shown channels: a packet of any channel in the
// set passes, and each channel resynchronises on its own. A channel waits
// for its own key picture after it joined the set and after its packets
// stopped for kChannelGapMs (its stream was interrupted).
void handleShownVideo(RecorderConnection& c, int state, uint32_t shown, const VideoFields& f, const uint8_t* packet,
                      size_t length, StreamHandler& h, bool hostOrdered = false) {
    c.channelResync |= c.channelsJoined.exchange(0, std::memory_order_relaxed);
    if (f.channel < 0 || f.channel >= 16 || ((shown >> f.channel) & 1u) == 0) return;
    if (c.shared != nullptr && c.shared->iframeOnly.load() != 0 && !f.keyFrame) return;
    if (f.requiredLength != length) return;

    // The single view starts again at a key picture when it comes back
    // (unless it went on through the frame ring meanwhile).
    if (c.ringChannel.load(std::memory_order_relaxed) < 0) c.lastChannel = -1;
    const uint32_t bit = 1u << f.channel;
    const auto now = std::chrono::steady_clock::now();
    auto& last = c.channelLastPacket[static_cast<size_t>(f.channel)];
    if (now - last > std::chrono::milliseconds(kChannelGapMs)) c.channelResync |= bit;
    last = now;
    if ((c.channelResync & bit) != 0) {
        if (!f.keyFrame) return;
        c.channelResync &= ~bit;
    }
    if (state == kCollectingBadj && !hostOrdered) packet = hostOrderBadj(c, packet, length);
    h.onChannelVideo(f.channel, f.keyFrame, packet, length);
}

void handleVideo(RecorderConnection& c, int state, const uint8_t* packet, size_t length, StreamHandler& h) {
    // Every length rule asks for at least the header and the end marker, so
    // a shorter packet would be dropped by the length check anyway.
    if (length < kVideoPacketOverhead) return;
    if (state == kCollectingNda) {
        const int frameType = packet[8] >> 4;
        if (frameType != 1 && frameType != 2) return;
    }
    const VideoFields f = readVideoFields(state, packet, c.mode.load() == 1);
    if (!f.modeMatches) return;
    const uint32_t shown = c.shownChannels.load(std::memory_order_relaxed);
    const int ring = c.ringChannel.load(std::memory_order_relaxed);
    if (shown != 0 && f.channel != ring) {
        handleShownVideo(c, state, shown, f, packet, length, h);
        return;
    }
    if (f.channel != (shown != 0 ? ring : c.record->currentChannel.load())) return;
    if (c.shared != nullptr && c.shared->iframeOnly.load() != 0 && !f.keyFrame) return;
    if (f.requiredLength != length) return;

    // After a change of channel only a key frame can start the picture again.
    if (f.channel != c.lastChannel) {
        c.resync = 1;
        c.lastChannel = f.channel;
    }
    if (c.resync != 0) {
        if (!f.keyFrame) return;
        c.resync = 0;
    }
    if (state == kCollectingBadj) packet = hostOrderBadj(c, packet, length);
    // The overlay names the channel of the stream being shown.
    c.display.channel.store(f.channel);
    h.onVideo(packet, length, state == kCollectingNda ? PushDiscipline::LockStep : PushDiscipline::WaitWhenFull);
    // The channel of the single view is in the set as well: another front
    // end on this connection shows it too.
    if (shown != 0 && ((shown >> ring) & 1u) != 0) handleShownVideo(c, state, shown, f, packet, length, h, true);
}

void completePacket(RecorderConnection& c, int state, bool ddns, const uint8_t* packet, size_t length,
                    StreamHandler& h) {
    if (ddns) {
        handleDdnsCommand(c, packet, length, h);
    } else if (state == kCollectingCommand) {
        handleRecorderCommand(c, packet, length, h);
    } else {
        handleVideo(c, state, packet, length, h);
    }
}

void parseStream(RecorderConnection& c, const uint8_t* bytes, size_t count, StreamHandler& h, bool ddns) {
    if (bytes == nullptr || c.record == nullptr || !c.assemblyBuffer || !c.decodeBuffer) return;
    ParserState& p = c.parser;
    uint8_t* assembly = c.assemblyBuffer.get();
    size_t start = 0;  // where the current packet's bytes begin in this chunk

    size_t i = 0;
    while (i < count) {
        if (stopRequested(c)) return;

        if (p.state == kParserHunting) {
            p.markerRegister = (p.markerRegister << 8) | bytes[i];
            const int next = startState(p.markerRegister, ddns);
            if (next == kParserHunting) {
                ++i;
                continue;
            }
            p.state = next;
            start = i;
            // The marker's first three bytes may have come in an earlier
            // chunk; put them in front of the packet from the register.
            assembly[0] = static_cast<uint8_t>(p.markerRegister >> 24);
            assembly[1] = static_cast<uint8_t>(p.markerRegister >> 16);
            assembly[2] = static_cast<uint8_t>(p.markerRegister >> 8);
            p.assembledLength = 3;
            if (!ddns && next == kCollectingCommand) {
                const auto framing =
                    p.markerRegister == kPlainStartMarker ? FramingKind::Plain : FramingKind::Wide;
                c.record->framingKind.store(static_cast<int32_t>(framing));
            }
            ++i;
            continue;
        }

        // Collecting: skip to the next byte that can end the packet, but no
        // further than the byte that would make it too long for the buffer.
        const size_t limit = start + (kAssemblyBufferSize - p.assembledLength);  // first byte too many
        const size_t scanEnd = std::min(count, limit);
        const FinalBytes last = finalBytes(p.state);
        size_t j = i;
        bool ended = false;
        for (;;) {
            j += findEitherByte(bytes + j, scanEnd - j, last.first, last.second);
            if (j == scanEnd) break;
            p.markerRegister = registerAfter(p.markerRegister, bytes, i, j);
            i = j + 1;
            if (endsPacket(p.state, p.markerRegister)) {
                ended = true;
                break;
            }
            ++j;
        }
        if (!ended) {
            if (scanEnd == count) {
                if (i < count) p.markerRegister = registerAfter(p.markerRegister, bytes, i, count - 1);
                i = count;
                continue;
            }
            // Too long for the buffer (and for a ring slot): drop it and hunt
            // again from the first byte that did not fit.
            p.state = kParserHunting;
            p.markerRegister = 0;
            p.assembledLength = 0;
            i = limit;
            continue;
        }

        const size_t length = p.assembledLength + (j - start + 1);
        // A packet whose marker and body all lie in this chunk is handed on
        // from the chunk itself; one that spans chunks is put together in the
        // assembly buffer.
        const uint8_t* packet = bytes + start - 3;
        if (p.assembledLength != 3 || start < 3) {
            std::memcpy(assembly + p.assembledLength, bytes + start, j - start + 1);
            packet = assembly;
        }
        const int state = p.state;
        p.state = kParserHunting;
        p.markerRegister = 0;
        p.assembledLength = 0;
        completePacket(c, state, ddns, packet, length, h);
    }

    if (p.state != kParserHunting) {
        std::memcpy(assembly + p.assembledLength, bytes + start, count - start);
        p.assembledLength += count - start;
    }
}

}  // namespace

void parseRecorderStream(RecorderConnection& connection, const uint8_t* bytes, size_t count,
                         StreamHandler& handler) {
    parseStream(connection, bytes, count, handler, false);
}

void parseDdnsStream(RecorderConnection& connection, const uint8_t* bytes, size_t count, StreamHandler& handler) {
    parseStream(connection, bytes, count, handler, true);
}

void resetStreamParser(RecorderConnection& connection) {
    connection.parser = ParserState{};
    // A new stream: every shown channel starts again at its key picture.
    connection.channelResync = 0xFFFF;
}

}  // namespace orvix
