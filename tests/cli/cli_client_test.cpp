// The client in-process against a scripted recorder: status lines, the
// login and data requests it sends, pictures counted to the goal, commands
// sent once video flows, the record range, playback, and every failure's
// exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <chrono>
#include <future>
#include <sstream>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

#include "cli/cli_client.h"
#include "link/command_codes.h"
#include "link/wire_format.h"
#include "tests/link/scripted_peer.h"
#include "tests/link/stream_builders.h"
#include "tests/support/pipeline_support.h"
#include "tests/support/recording_playback.h"
#include "tests/support/test_stream.h"

using namespace orvix;
using namespace orvix::cli;
using namespace orvix::test;

namespace {

constexpr uint32_t kMpeg4Model = 11;  // Wide commands, 64-byte headers, MPEG-4
constexpr uint32_t kH264Model = 51;   // Plain commands, 32-byte headers, H.264

// An F5 packet around the header layout the display side reads.
Bytes f5Packet(int headerBytes, const Packet& payload, uint32_t seconds, int channel, bool key, bool search = false) {
    Bytes packet = headerPacket(headerBytes, payload, seconds, channel, key);
    packet[2] = 0x01;
    packet[3] = 0xF5;
    writeLe32(packet.data() + 12, static_cast<uint32_t>(packet.size() - 36));
    packet[24] = search ? 8 : 0;
    // The slot layout ends in a placeholder; on the wire it is the end marker.
    const uint8_t end[4] = {0x00, 0x00, 0x01, 0xB4};
    std::copy(end, end + 4, packet.end() - 4);
    return packet;
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("orvix_cli_" + name)).string();
}

struct ClientThread {
    std::ostringstream out;
    std::ostringstream err;
    std::future<int> code;
    std::atomic<bool> interrupt{false};

    void start(CliOptions options) {
        code = std::async(std::launch::async, [this, options] { return runClient(options, out, err, &interrupt); });
    }
    int wait() { return code.get(); }
};

CliOptions optionsFor(const ScriptedPeer& peer) {
    CliOptions options;
    options.host = "127.0.0.1";
    options.port = peer.port();
    options.user = "admin";
    options.password = "1234";
    options.frames = 3;
    options.timeoutSeconds = 30;
    return options;
}

// Answers the handshake up to streaming; returns the data request.
PeerCommand handshake(ScriptedPeer& peer, uint32_t model, uint16_t protocol = 24) {
    const FramingKind framing = model == kH264Model ? FramingKind::Plain : FramingKind::Wide;
    EXPECT_TRUE(peer.accept());
    peer.send(commandPacket(framing, COMMAND_CONNECT_OK, description(model, protocol)));
    EXPECT_EQ(peer.nextCode(), COMMAND_LOGIN_REQ);
    peer.send(commandPacket(framing, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
    auto request = peer.readCommand();
    EXPECT_TRUE(request);
    EXPECT_EQ(request ? request->code : 0, COMMAND_DATA_SEND_REQ);
    peer.send(commandPacket(framing, COMMAND_DATA_SEND_OK));
    return request ? *request : PeerCommand{};
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

struct FileInfo {
    int streams = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    int packets = 0;
    int keys = 0;
};

FileInfo probe(const std::string& path) {
    FileInfo info;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return info;
    avformat_find_stream_info(format, nullptr);
    info.streams = static_cast<int>(format->nb_streams);
    if (info.streams > 0) {
        info.codec = format->streams[0]->codecpar->codec_id;
        info.width = format->streams[0]->codecpar->width;
        info.height = format->streams[0]->codecpar->height;
    }
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        ++info.packets;
        info.keys += (packet->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return info;
}

}  // namespace

TEST(CliClient, StreamsToTheGoalWithSnapshotAndRecording) {
    const auto stream = encodeImages("mpeg4", {solidImage(352, 288, 20, 200, 30), solidImage(352, 288, 20, 200, 30),
                                               solidImage(352, 288, 20, 200, 30)}, 3);
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.channel = 2;
    options.verbose = true;
    options.snapshotPath = tempPath("snapshot.png");
    options.recordPath = tempPath("record.mp4");
    ClientThread run;
    run.start(options);
    const PeerCommand request = handshake(peer, kMpeg4Model);
    ASSERT_EQ(request.payload.size(), 24u);
    EXPECT_EQ(request.payload[9], 1);  // channel 2 is the second flag
    for (int i = 0; i < 3; ++i) peer.send(f5Packet(64, stream.packets[i], 1325376000 + i, 1, i == 0));
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();

    const std::string out = run.out.str();
    const auto statuses = linesStartingWith(out, "status ");
    ASSERT_EQ(statuses.size(), 7u) << out;
    EXPECT_EQ(statuses[0], "status 1 Connect Req Ip:127.0.0.1 Port:" + std::to_string(peer.port()));
    EXPECT_EQ(statuses[1], "status 2 Connect OK");
    EXPECT_EQ(statuses[2], "status 4 Login Req");
    EXPECT_EQ(statuses[3], "status 5 Login OK");
    EXPECT_EQ(statuses[4], "status 8 Data Send Req Ch 01");
    EXPECT_EQ(statuses[5], "status 9 Data Send OK [0fps][0byte]");
    EXPECT_EQ(statuses[6], "status 0 Disconnect");
    const auto pictures = linesStartingWith(out, "picture ");
    ASSERT_EQ(pictures.size(), 3u) << out;
    EXPECT_EQ(pictures[0], "picture 1 352x288 channel 2 time 2012-01-01 00:00:00 1325376000 live");
    EXPECT_EQ(pictures[2], "picture 3 352x288 channel 2 time 2012-01-01 00:00:02 1325376002 live");
    EXPECT_NE(out.find("decoded 3 frames 352x288 channel 2\n"), std::string::npos);
    EXPECT_TRUE(run.err.str().empty());

    const FileInfo file = probe(options.recordPath);
    EXPECT_EQ(file.streams, 1);
    EXPECT_EQ(file.codec, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(file.width, 352);
    EXPECT_EQ(file.height, 288);
    EXPECT_EQ(file.packets, 3);
    EXPECT_EQ(file.keys, 1);
    std::remove(options.recordPath.c_str());
    EXPECT_TRUE(std::filesystem::file_size(options.snapshotPath) > 100);
    std::remove(options.snapshotPath.c_str());
}

TEST(CliClient, RecordsH264WithItsParameterSetsAndStartsAtAKeyPicture) {
    const auto stream = encodePattern("libx264", 320, 240, 5, 2);
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.framingKind = 1;
    options.frames = 3;
    options.recordPath = tempPath("record264.mp4");
    ClientThread run;
    run.start(options);
    handshake(peer, kH264Model);
    // The second picture is not a key picture: the recording begins with the third.
    for (int i = 1; i < 5; ++i) peer.send(f5Packet(32, stream.packets[i], 1325376000, 0, stream.keys[i]));
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();
    const FileInfo file = probe(options.recordPath);
    EXPECT_EQ(file.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(file.width, 320);
    EXPECT_GE(file.packets, 2);
    EXPECT_GE(file.keys, 1);
    std::remove(options.recordPath.c_str());
}

TEST(CliClient, ASecondDescriptionSwitchingCodecEndsTheRecordingThere) {
    const auto mpeg4 = encodePattern("mpeg4", 352, 288, 3, 3);
    const auto h264 = encodePattern("libx264", 320, 240, 6, 6);
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.frames = 5;
    options.recordPath = tempPath("switch.mp4");
    ClientThread run;
    run.start(options);
    handshake(peer, kMpeg4Model);
    for (int i = 0; i < 3; ++i) peer.send(f5Packet(64, mpeg4.packets[i], 1325376000 + i, 0, i == 0));
    // Let the display side take these before the decoder is opened again.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // The recorder describes itself again, now as an H.264 model.
    peer.send(commandPacket(FramingKind::Plain, COMMAND_CONNECT_OK, description(kH264Model, 24)));
    EXPECT_EQ(peer.nextCode(), COMMAND_LOGIN_REQ);
    peer.send(commandPacket(FramingKind::Plain, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    peer.send(commandPacket(FramingKind::Plain, COMMAND_DATA_SEND_OK));
    for (int i = 0; i < 6; ++i) peer.send(f5Packet(32, h264.packets[i], 1325376010 + i, 0, i == 0));
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();
    EXPECT_NE(run.out.str().find("recording ended where the recorder changed codec\n"), std::string::npos)
        << run.out.str();

    // The file holds the MPEG-4 pictures only, and they all decode; the
    // H.264 pictures went on in a file of their own.
    const FileInfo file = probe(options.recordPath);
    EXPECT_EQ(file.codec, AV_CODEC_ID_MPEG4);
    EXPECT_GE(file.packets, 1);
    EXPECT_LE(file.packets, 3);
    const Playback playback = play(options.recordPath);
    EXPECT_EQ(playback.pictures, file.packets);
    EXPECT_EQ(playback.errors, 0);
    const std::string next = tempPath("switch-2.mp4");
    EXPECT_EQ(probe(next).codec, AV_CODEC_ID_H264);
    EXPECT_EQ(play(next).errors, 0);
    std::remove(options.recordPath.c_str());
    std::remove(next.c_str());
}

TEST(CliClient, GridRecordingEndsAtACodecChangeAndAtEachReconnect) {
    ::setenv("ORVIX_TEST_RECONNECT_MS", "100,200,10000", 1);
    const auto mpeg4 = encodePattern("mpeg4", 352, 288, 3, 3);
    const auto h264 = encodePattern("libx264", 320, 240, 4, 4);
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.channels = *parseChannelList("1-2");
    options.frames = 9;
    options.reconnect = true;
    options.recordPath = tempPath("grid_segments.mp4");
    ClientThread run;
    run.start(options);
    const auto stream = [&](const EncodedStream& coded, int header, uint32_t seconds) {
        for (size_t i = 0; i < coded.packets.size(); ++i) {
            for (int channel : {0, 1})
                peer.send(f5Packet(header, coded.packets[i], seconds + static_cast<uint32_t>(i), channel, i == 0));
        }
        // The decode workers take them before what comes next.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    };
    handshake(peer, kMpeg4Model);
    stream(mpeg4, 64, 1325376000);
    // The recorder describes itself again, now as an H.264 model.
    peer.send(commandPacket(FramingKind::Plain, COMMAND_CONNECT_OK, description(kH264Model, 24)));
    EXPECT_EQ(peer.nextCode(), COMMAND_LOGIN_REQ);
    peer.send(commandPacket(FramingKind::Plain, COMMAND_LOGIN_OK, loginOkPayload(0x1F)));
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    peer.send(commandPacket(FramingKind::Plain, COMMAND_DATA_SEND_OK));
    stream(h264, 32, 1325376010);
    // The connection is lost; the client comes back.
    peer.close();
    handshake(peer, kH264Model);
    stream(h264, 32, 1325376020);
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();
    ::unsetenv("ORVIX_TEST_RECONNECT_MS");
    EXPECT_NE(run.out.str().find("recording ended where the recorder changed codec\n"), std::string::npos)
        << run.out.str();

    const std::vector<std::pair<std::string, AVCodecID>> files = {{options.recordPath, AV_CODEC_ID_MPEG4},
                                                                  {tempPath("grid_segments-2.mp4"), AV_CODEC_ID_H264},
                                                                  {tempPath("grid_segments-3.mp4"), AV_CODEC_ID_H264}};
    for (const auto& [path, codec] : files) {
        const FileInfo file = probe(path);
        EXPECT_EQ(file.streams, 2) << path;
        EXPECT_EQ(file.codec, codec) << path;
        EXPECT_GE(file.keys, 2) << path;
        EXPECT_EQ(play(path).errors, 0) << path;
        std::remove(path.c_str());
    }
}

TEST(CliClient, AChannelTooLargeForTheSessionIsRecordedButNotDecoded) {
    // Three channels of 4096x4096: two take the session's picture budget.
    const Packet large = h264KeyPictureOfSize(256, 256, 1);
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.framingKind = 1;
    options.channels = *parseChannelList("1-3");
    options.frames = 2;
    options.recordPath = tempPath("oversized.mp4");
    ClientThread run;
    run.start(options);
    handshake(peer, kH264Model);
    // One channel after the other, so that the third is the one left out.
    for (const auto& [channel, seconds] : std::vector<std::pair<int, uint32_t>>{{0, 0}, {1, 0}, {2, 0}, {2, 1}}) {
        peer.send(f5Packet(32, large, 1325376000 + seconds, channel, true));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    for (int channel : {0, 1}) peer.send(f5Packet(32, large, 1325376001, channel, true));
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();
    EXPECT_EQ(run.err.str(),
              "orvix-cli: channel 3: pictures of 4096x4096 exceed what the session may hold; not decoded, still "
              "recorded\n");
    EXPECT_NE(run.out.str().find("decoded 2 frames 4096x4096 channel 2\ndecoded 0 frames 0x0 channel 3\n"),
              std::string::npos)
        << run.out.str();
    const FileInfo file = probe(options.recordPath);
    EXPECT_EQ(file.streams, 3);
    EXPECT_EQ(file.packets, 6);
    std::remove(options.recordPath.c_str());
}

TEST(CliClient, WrongAccountExitsWithLoginRefused) {
    ScriptedPeer peer;
    ClientThread run;
    run.start(optionsFor(peer));
    ASSERT_TRUE(peer.accept());
    peer.send(commandPacket(FramingKind::Wide, COMMAND_CONNECT_OK, description(kMpeg4Model, 23)));
    auto login = peer.readCommand();
    ASSERT_TRUE(login);
    ASSERT_EQ(login->code, COMMAND_LOGIN_REQ);
    // Protocol 23 logs in with plain text.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(login->payload.data())), "admin");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(login->payload.data() + 50)), "1234");
    peer.send(commandPacket(FramingKind::Wide, COMMAND_LOGIN_FAIL));
    EXPECT_EQ(run.wait(), kExitLoginRefused);
    EXPECT_NE(run.out.str().find("status 6 Login FAIL - Incorrect Account\n"), std::string::npos);
    EXPECT_NE(run.err.str().find("login refused"), std::string::npos);
    EXPECT_NE(run.out.str().find("decoded 0 frames 0x0 channel 1\n"), std::string::npos);
}

TEST(CliClient, PeerClosingOrResettingBeforeTheGoalIsANetworkError) {
    for (bool reset : {false, true}) {
        ScriptedPeer peer;
        ClientThread run;
        run.start(optionsFor(peer));
        handshake(peer, kMpeg4Model);
        if (reset) {
            peer.reset();
        } else {
            peer.close();
        }
        EXPECT_EQ(run.wait(), kExitNetworkError);
        EXPECT_EQ(run.err.str(), reset ? "orvix-cli: Connection reset by the recorder\n"
                                       : "orvix-cli: Connection closed by the recorder\n");
        // The status line says the link is gone rather than "Data Send OK".
        EXPECT_NE(run.out.str().find("status 0 Disconnect\n"), std::string::npos) << run.out.str();
    }
}

TEST(CliClient, SilentRecorderTimesOutAndRefusedConnectFailsAtOnce) {
    {
        ScriptedPeer peer;
        CliOptions options = optionsFor(peer);
        options.timeoutSeconds = 1;
        ClientThread run;
        run.start(options);
        ASSERT_TRUE(peer.accept());
        EXPECT_EQ(run.wait(), kExitTimeout);
        EXPECT_NE(run.err.str().find("0 of 3 pictures"), std::string::npos) << run.err.str();
    }
    uint16_t closedPort = 0;
    {
        ScriptedPeer gone;
        closedPort = gone.port();
    }
    CliOptions options;
    options.host = "127.0.0.1";
    options.port = closedPort;
    options.user = "admin";
    ClientThread run;
    run.start(options);
    EXPECT_EQ(run.wait(), kExitNetworkError);
    EXPECT_EQ(run.err.str(), "orvix-cli: Connection refused by 127.0.0.1:" + std::to_string(closedPort) + "\n");
    EXPECT_NE(run.out.str().find("status 3 Connect FAIL\n"), std::string::npos) << run.out.str();
}

TEST(CliClient, PtzAlarmAndRangeAreSentOnceVideoFlows) {
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.ptz = PtzRequest{5, 3};
    options.alarm = AlarmRequest{true, 2, 60};
    options.recordInfo = true;
    ClientThread run;
    run.start(options);
    handshake(peer, kMpeg4Model);
    auto ptz = peer.readCommand();
    ASSERT_TRUE(ptz);
    EXPECT_EQ(ptz->code, COMMAND_PTZ_REQ);
    auto alarm = peer.readCommand();
    ASSERT_TRUE(alarm);
    EXPECT_EQ(alarm->code, COMMAND_ALARM_OUT_REQ);
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);  // leaves the channel
    EXPECT_EQ(peer.nextCode(), COMMAND_RECORD_INFO_REQ);
    peer.send(commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(1325376000, 1325462399)));
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();
    const std::string out = run.out.str();
    EXPECT_NE(out.find("ptz goto preset 3\n"), std::string::npos);
    EXPECT_NE(out.find("alarm on output 2 seconds 60\n"), std::string::npos);
    EXPECT_NE(out.find("record range 2012-01-01 00:00:00 2012-01-01 23:59:59 1325376000 1325462399\n"),
              std::string::npos)
        << out;
}

TEST(CliClient, NoRangeIsReportedAndTheRangeIsTheGoal) {
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.recordInfo = true;
    ClientThread run;
    run.start(options);
    handshake(peer, kMpeg4Model);
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(peer.nextCode(), COMMAND_RECORD_INFO_REQ);
    peer.send(commandPacket(FramingKind::Wide, COMMAND_RECORD_INFO, twoValues(5, 5)));
    EXPECT_EQ(run.wait(), kExitGoalReached);
    EXPECT_NE(run.out.str().find("no record range\n"), std::string::npos);
}

TEST(CliClient, SearchCountsOnlyPlaybackPictures) {
    const auto stream = encodeImages("mpeg4", {solidImage(352, 288, 200, 30, 30)}, 1);
    ScriptedPeer peer;
    CliOptions options = optionsFor(peer);
    options.frames = 2;
    options.verbose = true;
    options.searchTime = 1325376000;
    ClientThread run;
    run.start(options);
    handshake(peer, kMpeg4Model);
    const uint32_t now = 1700000000;
    // The search waits for live video, to know the recorder's present.
    peer.send(f5Packet(64, stream.packets[0], now, 0, true));
    EXPECT_EQ(peer.nextCode(), COMMAND_DATA_SEND_REQ);
    EXPECT_EQ(peer.nextCode(), COMMAND_SEARCH_MODE_REQ);
    auto time = peer.readCommand();
    ASSERT_TRUE(time);
    EXPECT_EQ(time->code, COMMAND_SEARCH_TIME_REQ);
    EXPECT_EQ(peer.nextCode(), COMMAND_SEARCH_PLAY_REQ);
    EXPECT_EQ(peer.nextCode(), COMMAND_PLAY_CONTROL_REQ);
    // Live video still on its way is dropped in search mode.
    peer.send(f5Packet(64, stream.packets[0], now + 1, 0, true));
    for (uint32_t i = 0; i < 2; ++i) peer.send(f5Packet(64, stream.packets[0], 1325376000 + i, 0, true, true));
    EXPECT_EQ(run.wait(), kExitGoalReached) << run.err.str();
    const std::string out = run.out.str();
    EXPECT_NE(out.find("search from 2012-01-01 00:00:00 1325376000\n"), std::string::npos) << out;
    const auto pictures = linesStartingWith(out, "picture ");
    ASSERT_EQ(pictures.size(), 2u) << out;
    EXPECT_EQ(pictures[0], "picture 1 352x288 channel 1 time 2012-01-01 00:00:00 1325376000 playback");
    EXPECT_EQ(pictures[1], "picture 2 352x288 channel 1 time 2012-01-01 00:00:01 1325376001 playback");
    EXPECT_EQ(linesStartingWith(out, "skipped ").size(), 1u);
}

TEST(CliClient, InterruptEndsTheRunCleanly) {
    ScriptedPeer peer;
    ClientThread run;
    run.start(optionsFor(peer));
    handshake(peer, kMpeg4Model);
    run.interrupt.store(true);
    EXPECT_EQ(run.wait(), kExitInterrupted);
    EXPECT_NE(run.out.str().find("status 0 Disconnect\n"), std::string::npos);
}
