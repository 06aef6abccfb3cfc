// orvix-cli showing several channels of the recorder simulator program: the
// mosaic's tiles in the order given, each in its channel's colour; a set of
// nine on a sixteen-camera raw H.264 recorder; recordings of one channel and
// of several that a kill cuts short; bad channel lists.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tests/e2e/e2e_process.h"
#include "tools/recorder_sim/picture_painter.h"

using namespace orvix::e2e;

namespace {

struct Tiles {
    int width = 0;
    int height = 0;
    std::vector<int> channels;  // per tile, row by row: the colour most of its lower half has, or -1
};

// Reads the PNG and votes on each tile of a columns x rows mosaic.
Tiles readTiles(const std::string& path, int columns, int rows) {
    Tiles tiles;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return tiles;
    AVPacket* packet = av_packet_alloc();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    if (av_read_frame(format, packet) >= 0 && avcodec_open2(context, codec, nullptr) >= 0 &&
        avcodec_send_packet(context, packet) >= 0 && avcodec_receive_frame(context, frame) >= 0 &&
        frame->format == AV_PIX_FMT_RGB24) {
        tiles.width = frame->width;
        tiles.height = frame->height;
        const int tileWidth = frame->width / columns;
        const int tileHeight = frame->height / rows;
        for (int t = 0; t < columns * rows; ++t) {
            std::vector<int> votes(orvix::sim::kColourCount, 0);
            const int left = t % columns * tileWidth;
            const int top = t / columns * tileHeight;
            for (int y = top + tileHeight / 2; y < top + tileHeight; y += 2) {
                const uint8_t* row = frame->data[0] + static_cast<size_t>(y) * frame->linesize[0];
                for (int x = left; x < left + tileWidth; x += 2) {
                    const int c = orvix::sim::nearestChannelColour(
                        orvix::sim::Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
                    if (c >= 0) ++votes[static_cast<size_t>(c)];
                }
            }
            const auto best = std::max_element(votes.begin(), votes.end());
            tiles.channels.push_back(*best > tileWidth * tileHeight / 16 ? static_cast<int>(best - votes.begin()) : -1);
        }
    }
    av_frame_free(&frame);
    avcodec_free_context(&context);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return tiles;
}

// Per video track of an MP4 file: its size and how many packets it holds.
struct Track {
    int width = 0;
    int height = 0;
    int packets = 0;
};

std::vector<Track> readTracks(const std::string& path) {
    std::vector<Track> tracks;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return tracks;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVCodecParameters* p = format->streams[i]->codecpar;
            if (p->codec_type == AVMEDIA_TYPE_VIDEO) tracks.push_back({p->width, p->height, 0});
        }
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            if (static_cast<size_t>(packet->stream_index) < tracks.size()) ++tracks[static_cast<size_t>(packet->stream_index)].packets;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    return tracks;
}

Finished runClient(const Simulator& recorder, std::vector<std::string> options) {
    std::vector<std::string> arguments = {"--host", "127.0.0.1", "--port", std::to_string(recorder.port()),
                                          "--user", "admin", "--password", "1234", "--timeout", "60"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runProgram(binaryPath("orvix-cli"), arguments);
}

}  // namespace

TEST(GridClient, MosaicHasEachChannelsColourInItsTile) {
    Simulator recorder("orvix-recorder-sim", {"--channels", "4"});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    const std::string png = scratchPath("grid_mosaic.png");

    Finished run = runClient(recorder, {"--channel", "1-4", "--frames", "5", "--snapshot", png});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    Tiles tiles = readTiles(png, 2, 2);
    EXPECT_EQ(tiles.width, 704);
    EXPECT_EQ(tiles.height, 576);
    EXPECT_EQ(tiles.channels, (std::vector<int>{0, 1, 2, 3}));
    const auto decoded = linesStartingWith(run.out, "decoded ");
    EXPECT_EQ(decoded, (std::vector<std::string>{"decoded 5 frames 352x288 channel 1", "decoded 5 frames 352x288 channel 2",
                                                 "decoded 5 frames 352x288 channel 3",
                                                 "decoded 5 frames 352x288 channel 4"}));

    // The order given, row by row; three tiles make two columns and two rows,
    // the fourth left black.
    run = runClient(recorder, {"--channel", "4,1,3", "--frames", "3", "--snapshot", png, "--verbose"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    tiles = readTiles(png, 2, 2);
    EXPECT_EQ(tiles.channels, (std::vector<int>{3, 0, 2, -1}));
    // Verbose lines name their channel; only the three asked for come.
    for (const std::string& line : linesStartingWith(run.out, "picture ")) {
        EXPECT_TRUE(line.find(" channel 4 ") != std::string::npos || line.find(" channel 1 ") != std::string::npos ||
                    line.find(" channel 3 ") != std::string::npos)
            << line;
    }
    std::remove(png.c_str());
}

TEST(GridClient, NineChannelsOfASixteenCameraRawRecorder) {
    Simulator recorder("orvix-recorder-sim", {"--model-code", "61", "--channels", "16"});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    const std::string png = scratchPath("grid_nine.png");
    const Finished run =
        runClient(recorder, {"--stream", "h264", "--channel", "16,2-4,9,11-14", "--frames", "4", "--snapshot", png});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto decoded = linesStartingWith(run.out, "decoded ");
    ASSERT_EQ(decoded.size(), 9u) << run.out;
    EXPECT_EQ(decoded.front(), "decoded 4 frames 352x288 channel 16");
    EXPECT_EQ(decoded.back(), "decoded 4 frames 352x288 channel 14");
    const Tiles tiles = readTiles(png, 3, 3);
    EXPECT_EQ(tiles.channels, (std::vector<int>{15, 1, 2, 3, 8, 10, 11, 12, 13}));
    std::remove(png.c_str());
}

TEST(GridClient, RecordingHoldsOneTrackPerChannel) {
    Simulator recorder("orvix-recorder-sim", {"--model-code", "61", "--channels", "4"});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    const std::string mp4 = scratchPath("grid_record.mp4");
    const Finished run = runClient(recorder, {"--stream", "h264", "--channel", "3,1", "--frames", "20", "--record", mp4});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<Track> tracks = readTracks(mp4);
    ASSERT_EQ(tracks.size(), 2u);
    for (const Track& t : tracks) {
        EXPECT_EQ(t.width, 352);
        EXPECT_EQ(t.height, 288);
        EXPECT_GE(t.packets, 20);
    }
    std::remove(mp4.c_str());
}

TEST(GridClient, RecordingsOfAKilledClientPlayUpToTheirLastFragment) {
    Simulator recorder("orvix-recorder-sim", {"--channels", "3"});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    for (const std::string channels : {"2", "1-3"}) {
        SCOPED_TRACE(channels);
        const std::string mp4 = scratchPath("killed_" + channels + ".mp4");
        Background client("orvix-cli", {"--host", "127.0.0.1", "--port", std::to_string(recorder.port()), "--user",
                                        "admin", "--password", "1234", "--channel", channels, "--frames", "1000000",
                                        "--timeout", "60", "--verbose", "--record", mp4});
        const auto pictures = [&] {
            const auto lines = client.lines();
            return std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("picture ", 0) == 0; });
        };
        // Three seconds of pictures (25 a second) on every channel.
        const long wanted = 75 * (channels == "2" ? 1 : 3);
        for (int i = 0; i < 600 && pictures() < wanted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_GE(pictures(), wanted);
        ASSERT_EQ(::kill(client.pid(), SIGKILL), 0);
        EXPECT_EQ(client.wait(10), -1);  // ended by the signal, not by itself

        const std::vector<Track> tracks = readTracks(mp4);
        ASSERT_EQ(tracks.size(), channels == "2" ? 1u : 3u);
        for (const Track& t : tracks) EXPECT_GE(t.packets, 50);  // up to the last whole second
        // Arrival times, passed through as they are.
        const Finished decode = runProgram("/usr/bin/ffmpeg", {"-v", "error", "-i", mp4, "-map", "0", "-fps_mode",
                                                               "passthrough", "-enc_time_base", "-1", "-f", "null", "-"});
        EXPECT_EQ(decode.exitCode, 0) << decode.err;
        EXPECT_TRUE(decode.err.empty()) << decode.err;
        std::remove(mp4.c_str());
    }
}

TEST(GridClient, BadChannelListsAreUsageErrors) {
    for (const char* bad : {"0", "17", "1-17", "3-1", "1,1", "1,", "x"}) {
        const Finished run = runProgram(binaryPath("orvix-cli"), {"--host", "127.0.0.1", "--port", "1", "--user",
                                                                  "admin", "--password", "1", "--channel", bad});
        EXPECT_EQ(run.exitCode, 2) << bad;
        EXPECT_NE(run.err.find("--channel"), std::string::npos) << run.err;
    }
}
