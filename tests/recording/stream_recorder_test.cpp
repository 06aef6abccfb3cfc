// The recording read back by FFmpeg: stream headers that came apart from the
// key picture, a change of codec before and after the file was begun, files
// that no player could decode, a recording killed half-way, tracks that
// begin late, and the memory a long recording takes.
#include "recording/stream_recorder.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

extern "C" {
#include <libavformat/avformat.h>
}

#include "recording/elementary_stream.h"
#include "recording/mp4_writer.h"
#include "recording/recording_check.h"
#include "tests/support/recording_playback.h"
#include "tests/support/test_stream.h"
#include "tools/encoder/h264_bitstream.h"

using namespace orvix;
using orvix::test::Packet;
using orvix::test::Playback;
using orvix::test::play;

namespace {

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("orvix_recorder_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

// The NAL units of an H.264 packet whose type passes `keep`, with start codes.
template <typename Keep>
Packet nalUnits(const Packet& packet, Keep keep) {
    Packet out;
    for (const media::NalUnitSpan& unit : media::splitAnnexB(packet.data(), packet.size())) {
        if (!keep(unit.type())) continue;
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), unit.data, unit.data + unit.size);
    }
    return out;
}

void record(StreamRecorder& recorder, const std::vector<Packet>& packets, int width, int height) {
    for (const Packet& p : packets) {
        recorder.decoderInput(p.data(), p.size());
        recorder.pictureDecoded(width, height);
    }
}

// A clock that moves on by one picture of 25 a second at each reading.
StreamRecorder::Clock pictureClock() {
    auto now = std::make_shared<std::chrono::steady_clock::time_point>();
    return [now] { return *now += std::chrono::milliseconds(40); };
}

// The heap in use, arena and large blocks alike.
int64_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

}  // namespace

TEST(StreamRecorder, ParameterSetsSentApartFromTheKeyPictureMakeThePlayableFile) {
    const auto stream = test::encodePattern("libx264", 176, 144, 4, 4);
    const std::string path = tempPath("apart.mp4");
    StreamRecorder recorder(path);
    recorder.setCodec(VideoCodec::H264);
    // The sequence and picture parameter sets come in a packet of their own.
    const Packet sets = nalUnits(stream.packets[0], [](int type) { return type == 7 || type == 8; });
    const Packet key = nalUnits(stream.packets[0], [](int type) { return type != 7 && type != 8; });
    recorder.decoderInput(sets.data(), sets.size());
    record(recorder, {key, stream.packets[1], stream.packets[2], stream.packets[3]}, 176, 144);
    std::string error;
    EXPECT_TRUE(recorder.finish(error)) << error;
    const Playback playback = play(path);
    EXPECT_EQ(playback.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(playback.pictures, 4);
    EXPECT_EQ(playback.errors, 0);
    std::remove(path.c_str());
}

TEST(StreamRecorder, AChangeOfCodecEndsTheFileBegunWithTheFirst) {
    const auto mpeg4 = test::encodePattern("mpeg4", 176, 144, 3, 3);
    const auto h264 = test::encodePattern("libx264", 176, 144, 3, 3);
    const std::string path = tempPath("switch.mp4");
    StreamRecorder recorder(path);
    recorder.setCodec(VideoCodec::Mpeg4);
    record(recorder, mpeg4.packets, 176, 144);
    recorder.setCodec(VideoCodec::H264);
    record(recorder, h264.packets, 176, 144);
    std::string error;
    EXPECT_TRUE(recorder.finish(error)) << error;
    EXPECT_TRUE(recorder.endedAtCodecChange());
    EXPECT_EQ(recorder.packetsWritten(), 3);
    const Playback playback = play(path);
    EXPECT_EQ(playback.codec, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(playback.pictures, 3);
    EXPECT_EQ(playback.errors, 0);
    std::remove(path.c_str());
}

TEST(StreamRecorder, AChangeOfCodecBeforeTheFileWasBegunRecordsTheNewCodec) {
    const auto mpeg4 = test::encodePattern("mpeg4", 176, 144, 1, 1);
    const auto h264 = test::encodePattern("libx264", 320, 240, 3, 3);
    const std::string path = tempPath("early_switch.mp4");
    StreamRecorder recorder(path);
    recorder.setCodec(VideoCodec::Mpeg4);
    recorder.decoderInput(mpeg4.packets[0].data(), mpeg4.packets[0].size());  // no picture decoded yet
    recorder.setCodec(VideoCodec::H264);
    record(recorder, h264.packets, 320, 240);
    std::string error;
    EXPECT_TRUE(recorder.finish(error)) << error;
    EXPECT_FALSE(recorder.endedAtCodecChange());
    const Playback playback = play(path);
    EXPECT_EQ(playback.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(playback.pictures, 3);
    EXPECT_EQ(playback.errors, 0);
    std::remove(path.c_str());
}

TEST(StreamRecorder, WhatNoPlayerCouldDecodeIsAFailure) {
    // Pictures whose stream header never came: no file at all.
    const auto mpeg4 = test::encodePattern("mpeg4", 176, 144, 2, 2);
    std::vector<Packet> headless;
    for (const Packet& p : mpeg4.packets) {
        size_t vop = 0;
        while (vop + 3 < p.size() && !(p[vop] == 0 && p[vop + 1] == 0 && p[vop + 2] == 1 && p[vop + 3] == 0xB6)) ++vop;
        headless.emplace_back(p.begin() + static_cast<long>(vop), p.end());
    }
    const std::string path = tempPath("headless.mp4");
    {
        StreamRecorder recorder(path);
        recorder.setCodec(VideoCodec::Mpeg4);
        record(recorder, headless, 176, 144);
        std::string error;
        EXPECT_FALSE(recorder.finish(error));
        EXPECT_NE(error.find("no stream header arrived"), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(path));
    }

    // A header and a picture that only look like MPEG-4: the file is written
    // and read back, and found unplayable.
    const Packet fake = {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0x20, 0xFF, 0xFF, 0xFF,
                         0x00, 0x00, 0x01, 0xB6, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    {
        StreamRecorder recorder(path);
        recorder.setCodec(VideoCodec::Mpeg4);
        record(recorder, {fake, fake}, 176, 144);
        std::string error;
        EXPECT_FALSE(recorder.finish(error));
        EXPECT_NE(error.find("holds no playable video"), std::string::npos) << error;
    }
    std::remove(path.c_str());
}

TEST(StreamRecorder, AKilledRecordingPlaysUpToItsLastFragment) {
    // Four seconds of pictures, then the process is killed before it could
    // finish the file.
    const auto stream = test::encodePattern("mpeg4", 176, 144, 100, 25);
    const std::string path = tempPath("killed.mp4");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        StreamRecorder recorder(path, pictureClock());
        recorder.setCodec(VideoCodec::Mpeg4);
        record(recorder, stream.packets, 176, 144);
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::string error;
    EXPECT_TRUE(hasPlayableVideo(path, error)) << error;
    const Playback playback = play(path);
    EXPECT_EQ(playback.codec, AV_CODEC_ID_MPEG4);
    EXPECT_GE(playback.pictures, 75);  // every second but the last
    EXPECT_EQ(playback.errors, 0);
    std::remove(path.c_str());
}

TEST(Mp4Writer, ATrackThatBeginsLaterKeepsItsStartTime) {
    const auto stream = test::encodePattern("mpeg4", 176, 144, 50, 50);
    const Mp4Track track{VideoCodec::Mpeg4, 176, 144,
                         streamHeaders(VideoCodec::Mpeg4, stream.packets[0].data(), stream.packets[0].size())};
    const std::string path = tempPath("late_track.mp4");
    {
        Mp4Writer writer(path);
        std::string error;
        ASSERT_TRUE(writer.open({track, track}, error)) << error;
        for (size_t i = 0; i < stream.packets.size(); ++i) {
            const int64_t ms = static_cast<int64_t>(i) * 40;
            ASSERT_TRUE(writer.write(0, stream.packets[i].data(), stream.packets[i].size(), ms, i == 0, error));
            // The second track's first key picture comes a second later.
            if (i >= 25) {
                const Packet& p = stream.packets[i - 25];
                ASSERT_TRUE(writer.write(1, p.data(), p.size(), ms, i == 25, error));
            }
        }
        ASSERT_TRUE(writer.finish(error)) << error;
    }
    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    ASSERT_EQ(format->nb_streams, 2u);
    const auto startMs = [&](unsigned i) {
        const AVStream* s = format->streams[i];
        return av_rescale_q(s->start_time, s->time_base, AVRational{1, 1000});
    };
    EXPECT_EQ(startMs(0), 0);
    EXPECT_EQ(startMs(1), 1000);
    avformat_close_input(&format);
    std::remove(path.c_str());
}

TEST(StreamRecorder, ALongRecordingKeepsNoIndexOfEveryPicture) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator is not the heap measured here";
#endif
    // 100,000 pictures (an hour at 25 a second) of a stream the muxer takes
    // as it is; the file is only read back for its first picture.
    const auto stream = test::encodePattern("mpeg4", 176, 144, 50, 25);
    const std::string path = tempPath("long.mp4");
    StreamRecorder recorder(path, pictureClock());
    recorder.setCodec(VideoCodec::Mpeg4);
    constexpr int kPictures = 100000;
    int64_t before = 0;
    for (int i = 0; i < kPictures; ++i) {
        const Packet& p = stream.packets[static_cast<size_t>(i) % stream.packets.size()];
        recorder.decoderInput(p.data(), p.size());
        recorder.pictureDecoded(176, 144);
        if (i == kPictures / 10) before = heapInUse();
    }
    const double perPicture = static_cast<double>(heapInUse() - before) / (kPictures - kPictures / 10);
    // An index entry per picture is some 60 bytes; what remains is FFmpeg's
    // entry per fragment (about 40 bytes a second).
    EXPECT_LT(perPicture, 4.0);
    std::string error;
    EXPECT_TRUE(recorder.finish(error)) << error;
    EXPECT_EQ(recorder.packetsWritten(), kPictures);
    std::remove(path.c_str());
}
