// The parser skips through packet bodies to the bytes that can end them; the
// result must not depend on where the stream is cut. Random streams full of
// near-markers are parsed whole, in random pieces and one byte at a time.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "link/command_codes.h"
#include "link/recorder_connection.h"
#include "link/stream_parser.h"
#include "tests/link/stream_builders.h"

using namespace orvix;
using namespace orvix::test;

namespace {

struct Output {
    std::vector<Bytes> videos;
    std::vector<std::pair<uint32_t, Bytes>> commands;
    bool operator==(const Output&) const = default;
};

class Collector : public StreamHandler {
public:
    void onCommand(uint32_t code, const uint8_t* payload, size_t length) override {
        out.commands.emplace_back(code, Bytes(payload, payload + length));
    }
    void onVideo(const uint8_t* packet, size_t length, PushDiscipline) override {
        out.videos.emplace_back(packet, packet + length);
    }
    Output out;
};

// Payload bytes rich in the bytes that end markers finish with, and in
// marker prefixes that are not completed.
Bytes trickyPayload(std::mt19937& random, size_t length, bool allowPlainEnd) {
    static const uint8_t kPieces[][4] = {
        {0x00, 0x00, 0x01, 0xB5}, {0x00, 0x01, 0xB4, 0x00}, {0x4E, 0x45, 0x4E, 0x45},
        {0x45, 0x4E, 0x44, 0x44}, {0xB4, 0xB4, 0x44, 0x44}, {0x00, 0x00, 0x00, 0x01},
    };
    Bytes payload;
    while (payload.size() < length) {
        if (random() % 4 == 0) {
            const auto& piece = kPieces[random() % std::size(kPieces)];
            payload.insert(payload.end(), piece, piece + 4);
        } else {
            payload.push_back(static_cast<uint8_t>(random()));
        }
    }
    payload.resize(length);
    // No end marker inside: break any that the random bytes made.
    for (size_t i = 3; i < payload.size(); ++i) {
        const uint32_t r = (uint32_t{payload[i - 3]} << 24) | (uint32_t{payload[i - 2]} << 16) |
                           (uint32_t{payload[i - 1]} << 8) | payload[i];
        if (r == kWideEndMarker || (!allowPlainEnd && r == kPlainEndMarker)) payload[i] ^= 0x80;
    }
    return payload;
}

Bytes randomStream(uint32_t seed) {
    std::mt19937 random(seed);
    Bytes stream;
    for (int n = 0; n < 60; ++n) {
        switch (random() % 6) {
        case 0: {  // F5 with a tricky body: header, payload, end marker
            Bytes packet = videoPacket({.kind = VideoKind::F5, .payloadBytes = 0, .tag = 0});
            const Bytes body = trickyPayload(random, 20 + random() % 3000, false);
            packet.insert(packet.end() - 4, body.begin(), body.end());
            writeLe32(packet.data() + 12, static_cast<uint32_t>(packet.size() - 36));
            stream.insert(stream.end(), packet.begin(), packet.end());
            break;
        }
        case 1: {
            const Bytes p = videoPacket({.kind = VideoKind::Ndav, .payloadBytes = 40 + random() % 400,
                                         .tag = static_cast<uint8_t>(n)});
            stream.insert(stream.end(), p.begin(), p.end());
            break;
        }
        case 2: {
            const Bytes p = commandPacket(random() % 2 ? FramingKind::Wide : FramingKind::Plain, COMMAND_RECORD_INFO,
                                          twoValues(static_cast<uint32_t>(random()), 7));
            stream.insert(stream.end(), p.begin(), p.end());
            break;
        }
        case 3: {  // garbage between packets, near-markers included
            const Bytes junk = trickyPayload(random, random() % 64, true);
            stream.insert(stream.end(), junk.begin(), junk.end());
            break;
        }
        case 4: {
            const Bytes p = videoPacket({.kind = VideoKind::F2, .payloadBytes = 32 * (1 + random() % 8),
                                         .tag = static_cast<uint8_t>(n)});
            stream.insert(stream.end(), p.begin(), p.end());
            break;
        }
        default: {
            const Bytes p = videoPacket({.kind = VideoKind::Badj, .payloadBytes = 4 * (1 + random() % 50),
                                         .tag = static_cast<uint8_t>(n)});
            stream.insert(stream.end(), p.begin(), p.end());
            break;
        }
        }
    }
    return stream;
}

class ParserChunkingTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        connection.record = record;
        connection.shared = &shared;
        ASSERT_TRUE(connection.allocateBuffers());
        shared.threadState = kLinkRecorderExchange;
        shared.iframeOnly = 0;
    }
    void TearDown() override { destroyRecord(record); }

    Output parseInPieces(const Bytes& stream, const std::vector<size_t>& pieces) {
        resetStreamParser(connection);
        connection.resync = 0;
        Collector collector;
        size_t at = 0;
        for (size_t piece : pieces) {
            if (at >= stream.size()) break;
            const size_t n = std::min(piece, stream.size() - at);
            parseRecorderStream(connection, stream.data() + at, n, collector);
            at += n;
        }
        if (at < stream.size()) parseRecorderStream(connection, stream.data() + at, stream.size() - at, collector);
        return collector.out;
    }

    LinkShared shared;
    RecorderConnection connection;
    DeviceRecord* record = nullptr;
};

}  // namespace

TEST_F(ParserChunkingTest, RandomStreamsGiveTheSamePacketsHoweverTheyAreCut) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const Bytes stream = randomStream(seed);
        const Output whole = parseInPieces(stream, {});
        ASSERT_GT(whole.videos.size(), 5u) << seed;
        ASSERT_GT(whole.commands.size(), 3u) << seed;

        const Output bytewise = parseInPieces(stream, std::vector<size_t>(stream.size(), 1));
        EXPECT_EQ(bytewise, whole) << "one byte at a time, seed " << seed;

        std::mt19937 random(seed * 7919);
        std::vector<size_t> pieces;
        for (size_t total = 0; total < stream.size();) {
            pieces.push_back(1 + random() % 700);
            total += pieces.back();
        }
        EXPECT_EQ(parseInPieces(stream, pieces), whole) << "random pieces, seed " << seed;
    }
}

TEST_F(ParserChunkingTest, RunawayPacketEndingJustPastTheBufferIsDropped) {
    // A packet whose end marker completes exactly one byte past the assembly
    // buffer is dropped, one that ends exactly at it is passed, whatever the
    // pieces.
    for (size_t over : {0u, 1u}) {
        Bytes packet = videoPacket({.kind = VideoKind::F5, .payloadBytes = kAssemblyBufferSize - 36 + over});
        for (size_t piece : {kAssemblyBufferSize + 8, size_t{4096}, size_t{65521}}) {
            const Output out = parseInPieces(packet, std::vector<size_t>(packet.size() / piece + 1, piece));
            EXPECT_EQ(out.videos.size(), over == 0 ? 1u : 0u) << over << " " << piece;
        }
    }
}

TEST_F(ParserChunkingTest, HuntingResumesAtTheFirstByteARunawayPacketLeftUnread) {
    // A runaway packet fills the assembly buffer exactly; the next packet's
    // start marker begins on the very next byte. Markers that begin with a
    // zero byte survive one lost byte (the cleared register supplies it), so
    // every kind is tried, those that start with a letter included.
    for (const VideoKind kind : {VideoKind::Ndav, VideoKind::Badj, VideoKind::Nda, VideoKind::F5}) {
        Bytes stream = {0x00, 0x00, 0x01, 0xF5};
        stream.resize(kAssemblyBufferSize, 0x55);
        const Bytes next = videoPacket({.kind = kind, .tag = 7});
        const Bytes last = videoPacket({.kind = kind, .tag = 8});
        stream.insert(stream.end(), next.begin(), next.end());
        stream.insert(stream.end(), last.begin(), last.end());

        const Output whole = parseInPieces(stream, {});
        ASSERT_EQ(whole.videos.size(), 2u) << static_cast<int>(kind);
        EXPECT_EQ(whole.videos[0][32], 7);
        EXPECT_EQ(whole.videos[1][32], 8);
        // Cut at the drop point, around it, and in pieces that do not line up with it.
        for (size_t piece : {kAssemblyBufferSize, kAssemblyBufferSize - 1, kAssemblyBufferSize + 1, size_t{4096},
                             size_t{65521}}) {
            EXPECT_EQ(parseInPieces(stream, std::vector<size_t>(stream.size() / piece + 1, piece)), whole)
                << static_cast<int>(kind) << " " << piece;
        }
    }
}
