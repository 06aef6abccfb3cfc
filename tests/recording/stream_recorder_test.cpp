// The recording read back by FFmpeg: stream headers that came apart from the
// key picture, a change of codec before and after the file was begun, and
// files that no player could decode.
#include "recording/stream_recorder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

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
