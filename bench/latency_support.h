// What the latency benchmarks share: a recorder played in the benchmark's
// own process (a scripted peer that answers the link's handshake and then
// writes pictures as F5 packets at a steady pace, noting when), and the
// median they are printed as.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "tests/link/scripted_peer.h"
#include "tests/support/test_stream.h"

namespace orvix::bench {

using Clock = std::chrono::steady_clock;

// 0 for no values.
double median(std::vector<double> values);

double millisecondsBetween(Clock::time_point from, Clock::time_point to);

// One picture's coded bytes in an F5 video packet with its recorder time.
test::Bytes f5Packet(const test::Packet& payload, uint32_t seconds, bool key);

// Accepts the link's connection and answers connect, login and data
// request as a 24-channel recorder of `modelCode` (11: MPEG-4, 51: H.264)
// in `framing`. False when no link came.
bool answerHandshake(test::ScriptedPeer& peer, uint32_t modelCode = 11, FramingKind framing = FramingKind::Wide);

struct PacedPictures {
    int count = 0;                           // the stream's first `count` pictures
    std::chrono::milliseconds period{40};    // measured from the first write, so the pace does not drift
    std::function<uint32_t(int)> seconds;    // each picture's recorder time
    std::function<void(int)> beforeWrite;    // called just before picture i is written
    std::function<bool()> stop;              // optional: true ends the writing early
};

// Writes the pictures to the peer as F5 packets, one each period.
void writePictures(test::ScriptedPeer& peer, const test::EncodedStream& stream, const PacedPictures& paced);

}  // namespace orvix::bench
