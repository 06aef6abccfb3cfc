// --record across reconnects: segment names, and each connection's video in
// a playable file of its own, with no file (and no gap in the numbers) for
// a connection that brought no video.
#include "cli/segmented_recording.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/recording_playback.h"
#include "tests/support/test_stream.h"

using namespace orvix;
using namespace orvix::cli;
using orvix::test::Playback;
using orvix::test::play;

TEST(SegmentedRecording, SegmentNamesKeepTheExtension) {
    EXPECT_EQ(segmentPath("out.mp4", 2), "out-2.mp4");
    EXPECT_EQ(segmentPath("/tmp/cam.front/out.mp4", 3), "/tmp/cam.front/out-3.mp4");
    EXPECT_EQ(segmentPath("/tmp/cam.front/out", 2), "/tmp/cam.front/out-2");
    EXPECT_EQ(segmentPath(".hidden", 2), ".hidden-2");
    EXPECT_EQ(segmentPath("a.b.mp4", 10), "a.b-10.mp4");
}

TEST(SegmentedRecording, EachConnectionGetsAPlayableFile) {
    const auto dir = std::filesystem::temp_directory_path() / ("orvix_segments_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "rec.mp4").string();
    const auto stream = test::encodePattern("libx264", 176, 144, 6, 3);
    SegmentedRecording recording(path);
    recording.setCodec(VideoCodec::H264);
    const auto feed = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            recording.decoderInput(stream.packets[i].data(), stream.packets[i].size());
            recording.pictureDecoded(176, 144);
        }
    };
    feed(0, 3);
    recording.nextSegment();
    // A connection that brought nothing keeps the number for the next one.
    recording.nextSegment();
    feed(3, 6);
    recording.nextSegment();  // lost again; nothing came after
    std::string error;
    ASSERT_TRUE(recording.finish(error)) << error;
    ASSERT_EQ(recording.files(), (std::vector<std::string>{path, (dir / "rec-2.mp4").string()}));
    for (const std::string& file : recording.files()) {
        const Playback playback = play(file);
        EXPECT_EQ(playback.codec, AV_CODEC_ID_H264) << file;
        EXPECT_EQ(playback.pictures, 3) << file;
        EXPECT_EQ(playback.errors, 0) << file;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "rec-3.mp4"));
    std::filesystem::remove_all(dir);
}
