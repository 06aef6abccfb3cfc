// What the client makes of pictures: overlay text drawn with the built-in
// font, PNG files, the date text read back, and key pictures and stream
// headers of both codecs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "cli/bitmap_font.h"
#include "cli/cli_renderer.h"
#include "cli/png_writer.h"
#include "media/calendar_time.h"
#include "recording/elementary_stream.h"
#include "tests/support/test_stream.h"

using namespace orvix;
using namespace orvix::cli;
using orvix::test::RgbImage;

namespace {

struct Canvas {
    Canvas(int w, int h, uint8_t fill = 0) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, fill) {}
    PictureView view() { return PictureView{pixels.data(), width, height, width * 4}; }
    const uint8_t* at(int x, int y) const { return pixels.data() + (static_cast<size_t>(y) * width + x) * 4; }
    int count(uint8_t b, uint8_t g, uint8_t r) const {
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) n += at(x, y)[0] == b && at(x, y)[1] == g && at(x, y)[2] == r;
        return n;
    }
    int width, height;
    std::vector<uint8_t> pixels;
};

// FFmpeg's reading of a PNG file as blue, green, red, unused.
RgbImage readPng(const std::string& path) {
    RgbImage image;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return image;
    AVPacket* packet = av_packet_alloc();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    if (av_read_frame(format, packet) >= 0 && avcodec_open2(context, codec, nullptr) >= 0 &&
        avcodec_send_packet(context, packet) >= 0 && avcodec_receive_frame(context, frame) >= 0 &&
        frame->format == AV_PIX_FMT_RGB24) {
        image.width = frame->width;
        image.height = frame->height;
        for (int y = 0; y < frame->height; ++y) {
            const uint8_t* row = frame->data[0] + static_cast<size_t>(y) * frame->linesize[0];
            for (int x = 0; x < frame->width; ++x) {
                image.bgra.insert(image.bgra.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x], 255});
            }
        }
    }
    av_frame_free(&frame);
    avcodec_free_context(&context);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return image;
}

}  // namespace

TEST(BitmapFont, DrawsScaledGlyphsInTheRowColourAndClipsAtTheEdges) {
    Canvas canvas(40, 30);
    const OverlayFont font{20, 13, 700};
    drawText(canvas.view(), 0, 0, u"I", font, 0x0000FFFF);  // yellow
    // "I" is a vertical bar with serifs: its middle column is set from the
    // top glyph row to the bottom one, scaled to 13 x 20.
    const int lit = canvas.count(0, 255, 255);
    EXPECT_GT(lit, 20);
    EXPECT_EQ(lit + canvas.count(0, 0, 0), 40 * 30);  // nothing but yellow drawn
    EXPECT_EQ(canvas.at(6, 10)[2], 255);
    EXPECT_EQ(canvas.at(6, 19)[2], 0);  // the spacing row stays empty
    EXPECT_EQ(canvas.at(20, 5)[2], 0);  // nothing beyond the one cell

    // Text running off every side writes nothing outside the picture.
    Canvas small(10, 8, 7);
    drawText(small.view(), -5, -3, u"WWWWWWWW", OverlayFont{40, 26, 700}, 0x00FF0000);
    drawText(small.view(), 6, 6, u"\u00e9\u65e5", font, 0x00FF0000);  // no glyphs: boxes
    EXPECT_GT(small.count(255, 0, 0), 0);
    drawText(PictureView{}, 0, 0, u"x", font, 0);
    EXPECT_EQ(glyphColumns(u'~') != nullptr, true);
    EXPECT_EQ(glyphColumns(0x7F), nullptr);
}

TEST(BitmapFont, OverlayRowsLandAtTheirPositions) {
    DisplayFrame frame;
    frame.width = 352;
    frame.height = 288;
    frame.name = u"Lobby";
    formatDateTime(secondsToCalendar(1325376000), 0, frame.dateText, kDateTextChars);
    const OverlayRows rows = buildOverlay(frame, RendererKind::Software, OverlayStats{0, 25, 0});
    Canvas canvas(352, 288);
    drawOverlay(canvas.view(), rows);
    // Row 1 in the live colour (blue), rows 2 and 3 in yellow, nothing below
    // the third row.
    EXPECT_GT(canvas.count(255, 0, 0), 0);
    EXPECT_GT(canvas.count(0, 255, 255), 0);
    for (int y = 60; y < 288; ++y) EXPECT_EQ(canvas.at(5, y)[0] | canvas.at(5, y)[1] | canvas.at(5, y)[2], 0);
}

TEST(PngWriter, WritesAPictureFfmpegReadsBack) {
    Canvas canvas(64, 48);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = canvas.pixels.data() + (static_cast<size_t>(y) * 64 + x) * 4;
            p[0] = static_cast<uint8_t>(x * 4);  // blue
            p[1] = static_cast<uint8_t>(y * 5);  // green
            p[2] = 200;                          // red
        }
    }
    const std::string path = (std::filesystem::temp_directory_path() / "orvix_cli_png_test.png").string();
    std::string error;
    ASSERT_TRUE(writePng(path, canvas.view(), error)) << error;
    const RgbImage image = readPng(path);
    std::remove(path.c_str());
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 48);
    EXPECT_EQ(image.pixel(10, 20)[0], 40);
    EXPECT_EQ(image.pixel(10, 20)[1], 100);
    EXPECT_EQ(image.pixel(10, 20)[2], 200);

    EXPECT_FALSE(writePng(path, PictureView{}, error));
    EXPECT_FALSE(writePng("/nonexistent-dir/x.png", canvas.view(), error));
    EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos);
}

TEST(DateText, TheOverlayTextReadsBackAsRecorderSeconds) {
    char16_t text[kDateTextChars];
    for (uint32_t seconds : {0u, 951782400u, 1325375999u, 2147483647u}) {
        formatDateTime(secondsToCalendar(static_cast<int32_t>(seconds)), 0, text, kDateTextChars);
        EXPECT_EQ(parseDateText(text, kDateTextChars), seconds);
    }
    EXPECT_FALSE(parseDateText(u"1-2-2012 1:00:00 PM", kDateTextChars));  // another language's format
    EXPECT_FALSE(parseDateText(u"", kDateTextChars));
    EXPECT_FALSE(parseDateText(u"2012:01:01 00:00", kDateTextChars));
    const char16_t unterminated[4] = {u'2', u'0', u'1', u'2'};
    EXPECT_FALSE(parseDateText(unterminated, 4));
}

TEST(ElementaryStream, KeyPicturesAndHeadersOfBothCodecs) {
    using orvix::test::encodePattern;
    const auto mpeg4 = encodePattern("mpeg4", 176, 144, 3, 3);
    ASSERT_EQ(mpeg4.packets.size(), 3u);
    EXPECT_TRUE(isKeyPacket(VideoCodec::Mpeg4, mpeg4.packets[0].data(), mpeg4.packets[0].size()));
    EXPECT_FALSE(isKeyPacket(VideoCodec::Mpeg4, mpeg4.packets[1].data(), mpeg4.packets[1].size()));
    const auto vol = streamHeaders(VideoCodec::Mpeg4, mpeg4.packets[0].data(), mpeg4.packets[0].size());
    ASSERT_GE(vol.size(), 4u);
    EXPECT_EQ(vol[3], 0xB0);  // starts with the sequence header

    const auto h264 = encodePattern("libx264", 176, 144, 3, 3);
    ASSERT_EQ(h264.packets.size(), 3u);
    EXPECT_TRUE(isKeyPacket(VideoCodec::H264, h264.packets[0].data(), h264.packets[0].size()));
    EXPECT_FALSE(isKeyPacket(VideoCodec::H264, h264.packets[2].data(), h264.packets[2].size()));
    const auto sets = streamHeaders(VideoCodec::H264, h264.packets[0].data(), h264.packets[0].size());
    ASSERT_GT(sets.size(), 8u);
    EXPECT_TRUE(streamHeaders(VideoCodec::H264, h264.packets[2].data(), h264.packets[2].size()).empty());

    // Truncated and empty input finds nothing and reads nothing beyond.
    const uint8_t cut[] = {0x00, 0x00, 0x01};
    EXPECT_FALSE(isKeyPacket(VideoCodec::H264, cut, sizeof cut));
    EXPECT_FALSE(isKeyPacket(VideoCodec::Mpeg4, cut, sizeof cut));
    EXPECT_TRUE(streamHeaders(VideoCodec::Mpeg4, cut, sizeof cut).empty());
    EXPECT_FALSE(isKeyPacket(VideoCodec::None, mpeg4.packets[0].data(), mpeg4.packets[0].size()));
}
