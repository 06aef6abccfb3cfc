// The stream parsers on their own: chunk boundaries, the video filter, the
// limits, and what reaches the command handling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/command_codes.h"
#include "link/recorder_connection.h"
#include "link/stream_parser.h"
#include "tests/link/stream_builders.h"

using namespace orvix;
using namespace orvix::test;

namespace {

struct Captured {
    uint32_t code;
    Bytes payload;
    int32_t framing;  // the record's framing kind when the command came
};

class CapturingHandler : public StreamHandler {
public:
    explicit CapturingHandler(const DeviceRecord& record) : record_(record) {}
    void onCommand(uint32_t code, const uint8_t* payload, size_t length) override {
        commands.push_back({code, Bytes(payload, payload + length), record_.framingKind.load()});
        lastPayload = payload;
    }
    void onVideo(const uint8_t* packet, size_t length, PushDiscipline discipline) override {
        videos.emplace_back(packet, packet + length);
        disciplines.push_back(discipline);
    }
    std::vector<Captured> commands;
    std::vector<Bytes> videos;
    std::vector<PushDiscipline> disciplines;
    const uint8_t* lastPayload = nullptr;

private:
    const DeviceRecord& record_;
};

class StreamParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        record = createRecord();
        connection.record = record;
        connection.shared = &shared;
        ASSERT_TRUE(connection.allocateBuffers());
        shared.threadState = kLinkRecorderExchange;
        shared.iframeOnly = 0;
        connection.resync = 0;
    }
    void TearDown() override { destroyRecord(record); }

    CapturingHandler parse(const Bytes& bytes) {
        CapturingHandler handler(*record);
        parseRecorderStream(connection, bytes.data(), bytes.size(), handler);
        return handler;
    }
    // How many of `packets`, each sent alone, pass the filter.
    size_t passes(const Bytes& packet) { return parse(packet).videos.size(); }

    LinkShared shared;
    RecorderConnection connection;
    DeviceRecord* record = nullptr;
};

Bytes garbage() { return {0x00, 0x00, 0xAD, 0x01, 0x4E, 0x44, 0x41, 0x00, 0x00, 0x01, 0x42, 0x41}; }

}  // namespace

TEST_F(StreamParserTest, PacketsSplitAtEveryBytePositionAssembleTheSame) {
    const Bytes stream = concat({
        garbage(),
        commandPacket(FramingKind::Plain, COMMAND_ECHO_REQ),
        videoPacket({.kind = VideoKind::F5, .tag = 1}),
        commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(100, 200)),
        garbage(),
        videoPacket({.kind = VideoKind::Ndav, .payloadBytes = 40, .tag = 2}),
        videoPacket({.kind = VideoKind::Nda, .tag = 3}),
        videoPacket({.kind = VideoKind::F2, .payloadBytes = 32, .tag = 4}),
        videoPacket({.kind = VideoKind::F5, .tag = 5, .plainEnd = true}),
        videoPacket({.kind = VideoKind::Badj, .payloadBytes = 8, .tag = 6}),
        commandPacket(FramingKind::Plain, COMMAND_DATA_SEND_OK),
    });
    const CapturingHandler whole = parse(stream);
    ASSERT_EQ(whole.commands.size(), 3u);
    EXPECT_EQ(whole.commands[0].code, COMMAND_ECHO_REQ);
    EXPECT_EQ(whole.commands[0].framing, 1);
    EXPECT_EQ(whole.commands[1].code, COMMAND_RECORD_INFO);
    EXPECT_EQ(whole.commands[1].framing, 0);
    EXPECT_EQ(whole.commands[1].payload, twoValues(100, 200));
    EXPECT_EQ(whole.commands[2].framing, 1);
    ASSERT_EQ(whole.videos.size(), 6u);
    for (size_t i = 0; i < whole.videos.size(); ++i) EXPECT_EQ(whole.videos[i][32], i + 1);

    // Two chunks split at every position, and one byte at a time.
    for (size_t split = 1; split < stream.size(); ++split) {
        CapturingHandler handler(*record);
        parseRecorderStream(connection, stream.data(), split, handler);
        parseRecorderStream(connection, stream.data() + split, stream.size() - split, handler);
        ASSERT_EQ(handler.videos, whole.videos) << "split at " << split;
        ASSERT_EQ(handler.commands.size(), 3u) << "split at " << split;
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(handler.commands[i].payload, whole.commands[i].payload);
    }
    CapturingHandler handler(*record);
    for (uint8_t byte : stream) parseRecorderStream(connection, &byte, 1, handler);
    EXPECT_EQ(handler.videos, whole.videos);
    EXPECT_EQ(handler.commands.size(), 3u);
}

TEST_F(StreamParserTest, LengthRulesOfEachKind) {
    // F2 counts 32-byte units: field 10 means 356 bytes, and 357 is dropped.
    const Bytes f2 = videoPacket({.kind = VideoKind::F2, .payloadBytes = 320});
    ASSERT_EQ(f2.size(), 356u);
    EXPECT_EQ(passes(f2), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F2, .payloadBytes = 320, .extraBytes = 1})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F3, .payloadBytes = 64})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .payloadBytes = 10, .extraBytes = 2})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .payloadBytes = 0})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .payloadBytes = 7, .extraBytes = 1})), 0u);
    // A marker followed at once by its end marker is too short for any rule.
    EXPECT_EQ(passes(concat({{0x00, 0x00, 0x01, 0xF5}, {0x00, 0x00, 0x01, 0xB4}})), 0u);
}

TEST_F(StreamParserTest, EndMarkersAcceptedPerKind) {
    // F2 ends only with 00 00 01 B4: a NEND inside does not end it, so the
    // packet runs into the next one and the merged packet fails its length.
    Bytes f2 = videoPacket({.kind = VideoKind::F2, .payloadBytes = 32, .tag = 1});
    writeBe32(f2.data() + f2.size() - 4, kPlainEndMarker);
    const auto h = parse(concat({f2, videoPacket({.kind = VideoKind::F5, .tag = 2})}));
    EXPECT_TRUE(h.videos.empty());
    // The next packet after the merged one is found again.
    EXPECT_EQ(parse(videoPacket({.kind = VideoKind::F5, .tag = 3})).videos.size(), 1u);

    // NDAV ends only with NEND.
    Bytes ndav = videoPacket({.kind = VideoKind::Ndav, .tag = 4});
    writeBe32(ndav.data() + ndav.size() - 4, kWideEndMarker);
    EXPECT_TRUE(parse(ndav).videos.empty());
    EXPECT_TRUE(parse(commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ)).commands.empty());  // still collecting
}

TEST_F(StreamParserTest, NdaFrameTypesAndPushDisciplines) {
    for (int mode = 0; mode <= 1; ++mode) {
        connection.mode = mode;
        const uint8_t kind = mode == 0 ? 2 : 10;
        EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .frameType = 3, .streamKind = kind})), 0u);
        EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .frameType = 0, .streamKind = kind})), 0u);
        EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .frameType = 2, .streamKind = kind})), 1u);
    }
    connection.mode = 0;
    const auto h = parse(concat({videoPacket({.kind = VideoKind::Nda}), videoPacket({.kind = VideoKind::F2, .payloadBytes = 32}),
                                 videoPacket({.kind = VideoKind::F5}), videoPacket({.kind = VideoKind::Badj}),
                                 videoPacket({.kind = VideoKind::Ndav})}));
    ASSERT_EQ(h.disciplines.size(), 5u);
    EXPECT_EQ(h.disciplines[0], PushDiscipline::LockStep);
    for (size_t i = 1; i < 5; ++i) EXPECT_EQ(h.disciplines[i], PushDiscipline::WaitWhenFull);
}

TEST_F(StreamParserTest, BadjFieldsAreHandedOnInHostOrder) {
    const Bytes badj = videoPacket({.kind = VideoKind::Badj, .payloadBytes = 40, .time = 0x01020304});
    EXPECT_EQ(badj[4], 0x01);
    EXPECT_EQ(badj[13], 10);  // 40 bytes = 10 units, big-endian
    const auto h = parse(badj);
    ASSERT_EQ(h.videos.size(), 1u);
    EXPECT_EQ(readLe32(h.videos[0].data() + 4), 0x01020304u);
    EXPECT_EQ(readLe16(h.videos[0].data() + 12), 10u);
    // A little-endian length field reads as 10 * 256 units: dropped.
    Bytes wrongOrder = badj;
    std::swap(wrongOrder[12], wrongOrder[13]);
    EXPECT_EQ(passes(wrongOrder), 0u);
}

TEST_F(StreamParserTest, ModeSelectsLiveOrSearchStreams) {
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .streamKind = 3})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .streamKind = 9})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .streamKind = 0})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .streamKind = 2})), 0u);
    connection.mode = 1;
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .streamKind = 3})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .streamKind = 9})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .streamKind = 16})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .streamKind = 1})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .streamKind = 0})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .streamKind = 15})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Badj, .streamKind = 8})), 1u);
}

TEST_F(StreamParserTest, ChannelKeyFrameAndResync) {
    connection.resync = 1;  // set when the link starts
    // Before the first key frame nothing passes; packets of other channels never do.
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .key = false})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .channel = 1})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .key = false})), 1u);

    record->currentChannel = 2;
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .channel = 2, .key = false})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .channel = 2, .key = false})), 0u);
    EXPECT_EQ(connection.display.channel.load(), 0);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .channel = 2})), 1u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::F5, .channel = 2, .key = false})), 1u);
    // The display frame follows the channel of the packets passed on.
    EXPECT_EQ(connection.display.channel.load(), 2);

    // I-frame-only: an NDAV packet with byte 5 = 1 is not a key frame.
    shared.iframeOnly = 1;
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Ndav, .channel = 2, .frameType = 1})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .channel = 2, .key = false})), 0u);
    EXPECT_EQ(passes(videoPacket({.kind = VideoKind::Nda, .channel = 2})), 1u);
}

TEST_F(StreamParserTest, PacketsPastTheAssemblyBufferAreDroppedAndHuntingResumes) {
    // Exactly the buffer size still fits.
    const Bytes largest = videoPacket({.kind = VideoKind::F5, .payloadBytes = kAssemblyBufferSize - 36, .tag = 1});
    ASSERT_EQ(largest.size(), kAssemblyBufferSize);
    EXPECT_EQ(passes(largest), 1u);

    // A start marker with no end for 300000 bytes, then a valid packet, in
    // chunks of 70000: the runaway is dropped, the valid one assembled.
    Bytes stream = {0x00, 0x00, 0x01, 0xF5};
    stream.insert(stream.end(), 300000, 0x55);
    const Bytes after = videoPacket({.kind = VideoKind::F5, .tag = 2});
    stream.insert(stream.end(), after.begin(), after.end());
    CapturingHandler handler(*record);
    for (size_t at = 0; at < stream.size(); at += 70000)
        parseRecorderStream(connection, stream.data() + at, std::min<size_t>(70000, stream.size() - at), handler);
    ASSERT_EQ(handler.videos.size(), 1u);
    EXPECT_EQ(handler.videos[0], after);

    // The same for a command packet whose end never comes.
    Bytes command = {0x00, 0x00, 0xAD, 0xC3, 0x0B, 0x00, 0x00, 0x00};
    command.insert(command.end(), kAssemblyBufferSize, 0x55);
    const Bytes echo = commandPacket(FramingKind::Plain, COMMAND_ECHO_REQ);
    command.insert(command.end(), echo.begin(), echo.end());
    const auto h = parse(command);
    ASSERT_EQ(h.commands.size(), 1u);
    EXPECT_EQ(h.commands[0].code, COMMAND_ECHO_REQ);
}

TEST_F(StreamParserTest, CommandLimits) {
    // Wide: 122878 bytes are decoded, 122880 bytes are not.
    const auto wide = [](size_t payload) {
        return commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, Bytes(payload, 0x01));
    };
    EXPECT_EQ(parse(wide(61433)).commands.size(), 1u);
    EXPECT_EQ(parse(wide(61434)).commands.size(), 0u);
    // Plain: a payload larger than the decode buffer is dropped; the packet
    // after it is handled.
    const Bytes plain = concat({commandPacket(FramingKind::Plain, COMMAND_RECORD_INFO, Bytes(61441, 0x01)),
                                commandPacket(FramingKind::Plain, COMMAND_LOGIN_FAIL)});
    const auto h = parse(plain);
    ASSERT_EQ(h.commands.size(), 1u);
    EXPECT_EQ(h.commands[0].code, COMMAND_LOGIN_FAIL);
    EXPECT_EQ(parse(commandPacket(FramingKind::Plain, COMMAND_RECORD_INFO, Bytes(61440, 0x01))).commands.size(), 1u);
}

TEST_F(StreamParserTest, ShortResponsesReadZeroPastTheirPayload) {
    parse(commandPacket(FramingKind::Plain, COMMAND_RECORD_INFO, Bytes(24, 0xEE)));
    const auto h = parse(commandPacket(FramingKind::Plain, COMMAND_RECORD_INFO, {1, 2, 3, 4}));
    ASSERT_EQ(h.commands.size(), 1u);
    EXPECT_EQ(readLe32(h.lastPayload), 0x04030201u);
    for (int i = 4; i < 24; ++i) EXPECT_EQ(h.lastPayload[i], 0) << i;
}

TEST_F(StreamParserTest, LostEndMarkerMergesIntoTheFirstCommand) {
    Bytes first = commandPacket(FramingKind::Wide, COMMAND_LOGIN_FAIL);
    first.resize(first.size() - 4);  // end marker lost
    const auto h = parse(concat({first, commandPacket(FramingKind::Wide, COMMAND_DATA_SEND_OK)}));
    ASSERT_EQ(h.commands.size(), 1u);
    EXPECT_EQ(h.commands[0].code, COMMAND_LOGIN_FAIL);
}

TEST_F(StreamParserTest, StopRequestReturnsAtOnce) {
    shared.threadState = kLinkStopRequested;
    const auto h = parse(concat({commandPacket(FramingKind::Plain, COMMAND_ECHO_REQ), videoPacket({})}));
    EXPECT_TRUE(h.commands.empty());
    EXPECT_TRUE(h.videos.empty());
    EXPECT_EQ(connection.parser.markerRegister, 0u);
}

TEST_F(StreamParserTest, DdnsStreamPassesOnlyItsTwoCommands) {
    record->modelIndex = 30;  // Plain class: the DDNS server still speaks Wide
    record->framingKind = 1;
    const Bytes stream = concat({
        videoPacket({.kind = VideoKind::F5}),
        commandPacket(FramingKind::Wide, COMMAND_ECHO_REQ),
        commandPacket(FramingKind::Wide, COMMAND_DDNS_READY),
        garbage(),
        commandPacket(FramingKind::Wide, COMMAND_DDNS_INFO, twoValues(0x0A00A8C0, 9000)),
    });
    CapturingHandler handler(*record);
    for (size_t split = 1; split < stream.size(); split += 7) {
        handler.commands.clear();
        parseDdnsStream(connection, stream.data(), split, handler);
        parseDdnsStream(connection, stream.data() + split, stream.size() - split, handler);
        ASSERT_EQ(handler.commands.size(), 2u) << split;
        EXPECT_EQ(handler.commands[0].code, COMMAND_DDNS_READY);
        EXPECT_EQ(handler.commands[1].code, COMMAND_DDNS_INFO);
        EXPECT_EQ(handler.commands[1].payload, twoValues(0x0A00A8C0, 9000));
    }
    EXPECT_TRUE(handler.videos.empty());
    EXPECT_EQ(record->framingKind.load(), 1);  // not touched by the DDNS parser

    record->modelIndex = 5;  // neither class: no command results
    handler.commands.clear();
    parseDdnsStream(connection, stream.data(), stream.size(), handler);
    EXPECT_TRUE(handler.commands.empty());
}
