// The MPEG-4 payloader sends each picture as it gets it, in packets of at
// most the MTU with the marker on the last, and tells its configuration in
// the caps.
#include <gtest/gtest.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <vector>

#include "bridge/appsrc_target.h"
#include "bridge/channel_media_factory.h"

namespace orvix::bridge {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kVol = {0, 0, 1, 0xB0, 0x01, 0, 0, 1, 0x00, 0, 0, 1, 0x20, 0x08, 0xC8};

Bytes picture(size_t size, bool key) {
    Bytes bytes = key ? kVol : Bytes();
    const Bytes vop = {0, 0, 1, 0xB6, static_cast<uint8_t>(key ? 0x10 : 0x50)};
    bytes.insert(bytes.end(), vop.begin(), vop.end());
    bytes.resize(bytes.size() + size, 0x5A);
    return bytes;
}

struct Packet {
    Bytes payload;
    bool marker = false;
};

class PayloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        pipeline = gst_pipeline_new(nullptr);
        GstElement* appsrc = nullptr;
        GstElement* bin = buildChannelPipeline(VideoCodec::Mpeg4, &appsrc);
        ASSERT_NE(bin, nullptr);
        source = GST_APP_SRC(appsrc);
        sink = GST_APP_SINK(gst_element_factory_make("appsink", nullptr));
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline), bin, GST_ELEMENT(sink), nullptr);
        GstElement* payloader = gst_bin_get_by_name(GST_BIN(bin), "pay0");
        GstPad* out = gst_element_get_static_pad(payloader, "src");
        gst_object_unref(payloader);
        GstPad* ghost = gst_ghost_pad_new("src", out);
        gst_object_unref(out);
        gst_element_add_pad(bin, ghost);
        ASSERT_TRUE(gst_element_link(bin, GST_ELEMENT(sink)));
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    void TearDown() override {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
    void push(const Bytes& bytes, GstClockTime time) {
        GstBuffer* buffer = gst_buffer_new_memdup(bytes.data(), bytes.size());
        GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = time;
        ASSERT_EQ(gst_app_src_push_buffer(source, buffer), GST_FLOW_OK);
    }
    // The packets that come out within `waitMs`, without anything pushed after.
    std::vector<Packet> packets(int waitMs = 1000) {
        std::vector<Packet> got;
        while (GstSample* sample = gst_app_sink_try_pull_sample(sink, static_cast<GstClockTime>(waitMs) * GST_MSECOND)) {
            GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
            gst_rtp_buffer_map(gst_sample_get_buffer(sample), GST_MAP_READ, &rtp);
            const auto* data = static_cast<const uint8_t*>(gst_rtp_buffer_get_payload(&rtp));
            got.push_back({Bytes(data, data + gst_rtp_buffer_get_payload_len(&rtp)), gst_rtp_buffer_get_marker(&rtp) != 0});
            gst_rtp_buffer_unmap(&rtp);
            if (caps.empty()) {
                gchar* text = gst_caps_to_string(gst_sample_get_caps(sample));
                caps = text;
                g_free(text);
            }
            gst_sample_unref(sample);
            if (got.back().marker) break;
            waitMs = 200;
        }
        return got;
    }

    GstElement* pipeline = nullptr;
    GstAppSrc* source = nullptr;
    GstAppSink* sink = nullptr;
    std::string caps;
};

TEST_F(PayloaderTest, EachPictureGoesOutAtOnceWithItsConfigurationInTheCaps) {
    const Bytes key = picture(3000, true);
    push(key, GST_SECOND);
    const std::vector<Packet> first = packets();
    ASSERT_EQ(first.size(), 3u);  // 3020 bytes over packets of at most the MTU
    Bytes joined;
    for (const Packet& p : first) joined.insert(joined.end(), p.payload.begin(), p.payload.end());
    EXPECT_EQ(joined, key);
    EXPECT_FALSE(first[0].marker);
    EXPECT_TRUE(first[2].marker);
    EXPECT_NE(caps.find("encoding-name=(string)MP4V-ES"), std::string::npos) << caps;
    EXPECT_NE(caps.find("config=(string)000001b001000001000000012008c8"), std::string::npos) << caps;
    EXPECT_NE(caps.find("profile-level-id=(string)1"), std::string::npos) << caps;

    const Bytes next = picture(100, false);
    push(next, GST_SECOND + 40 * GST_MSECOND);
    const std::vector<Packet> second = packets();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].payload, next);
    EXPECT_TRUE(second[0].marker);
}

}  // namespace
}  // namespace orvix::bridge
