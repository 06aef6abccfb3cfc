#include "session/display_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "media/calendar_time.h"
#include "tests/support/pipeline_support.h"

namespace orvix {
namespace {

using test::EncodedStream;
using test::Packet;
using test::Pipeline;

// The end-of-thread debug line is checked below; debug output must be on
// before the first line is written.
const bool kDebugOn = [] { return setenv("ORVIX_DEBUG", "1", 1) == 0; }();

struct KindCase {
    const char* name;
    int32_t model;
    int headerBytes;
    const char* encoder;
    const char* decoder;
};

class EachFrameKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(EachFrameKind, PacketsBecomePicturesWithTheirOverlay) {
    const KindCase kind = GetParam();
    const EncodedStream stream = test::encodePattern(kind.encoder, 704, 576, 5, 5);
    const std::vector<test::RgbImage> reference = test::referenceDecode(kind.decoder, stream.packets);
    const uint32_t firstTime = calendarToSeconds(2009, 3, 7, 13, 5, 9);
    const std::u16string kTimes[] = {u"3-7-2009 1:05:09 PM", u"3-7-2009 1:05:10 PM", u"3-7-2009 1:05:11 PM",
                                     u"3-7-2009 1:05:12 PM", u"3-7-2009 1:05:13 PM"};

    Pipeline pipe(kind.model);
    pipe.record->currentChannel = 2;
    pipe.connection.display.channel = 2;
    pipe.settings.statistics = 1;
    pipe.shared.framesPerSecond = 25;
    pipe.shared.kilobytesPerSecond = 300;
    pipe.start();
    for (size_t i = 0; i < stream.packets.size(); ++i) {
        pipe.push(test::headerPacket(kind.headerBytes, stream.packets[i], firstTime + static_cast<uint32_t>(i), 2,
                                     stream.keys[i]));
    }
    ASSERT_TRUE(pipe.renderer.waitFor(stream.packets.size()));
    pipe.stop();

    const auto shown = pipe.renderer.shown();
    ASSERT_EQ(shown.size(), stream.packets.size());
    EXPECT_EQ(pipe.shared.framesCounter.load(), stream.packets.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(test::psnr(reference[i], shown[i].picture.bgra.data(), shown[i].picture.width,
                             shown[i].picture.height),
                  40.0);
        const OverlayRows& rows = shown[i].overlay;
        EXPECT_EQ(rows.layout, OverlayLayout::LargePicture);
        EXPECT_EQ(rows.rows[0].view(), u"LIVE Lobby CH 3");
        EXPECT_EQ(rows.rows[1].view(), kTimes[i]);
        EXPECT_EQ(rows.rows[2].view(), u"25 F 300 KB GDI");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EachFrameKind,
                         ::testing::Values(KindCase{"Header64Mpeg4", 0, 64, "mpeg4", "mpeg4"},
                                           KindCase{"Header32Mpeg4", 10, 32, "mpeg4", "mpeg4"},
                                           KindCase{"Header32H264", 23, 32, "libx264", "h264"}),
                         [](const ::testing::TestParamInfo<KindCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(DisplayThread, RawPacketsBecomePicturesStampedWithTheRecorderTime) {
    const EncodedStream stream = test::encodeRawPattern(1, 0, 3, 3);
    ASSERT_EQ(stream.packets.size(), 3u);
    const auto reference = test::referenceDecode(
        "h264", {test::withParameterSet(1, 0, stream.packets[0]), stream.packets[1], stream.packets[2]});
    const uint32_t since2008 = calendarToSeconds(2009, 3, 7, 13, 5, 9) - kRawTimeOffset;

    Pipeline pipe(26);
    pipe.settings.language = 0;  // the numeric format
    pipe.start();
    pipe.push(test::rawPacket(stream.packets[0], since2008, 0, true, 0x08));
    pipe.push(test::rawPacket(stream.packets[1], since2008 + 1, 0, false, 0x08));
    pipe.push(test::rawPacket(stream.packets[2], 0xF0000000u, 0, false, 0x08));  // past the signed range
    ASSERT_TRUE(pipe.renderer.waitFor(3));
    pipe.stop();

    const auto shown = pipe.renderer.shown();
    ASSERT_EQ(shown.size(), 3u);
    const std::u16string times[] = {u"2009:03:07 13:05:09", u"2009:03:07 13:05:10", u"1970:01:01 00:00:00"};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(test::psnr(reference[i], shown[i].picture.bgra.data(), shown[i].picture.width,
                             shown[i].picture.height),
                  40.0);
        EXPECT_EQ(shown[i].overlay.layout, OverlayLayout::Cif);
        EXPECT_EQ(shown[i].overlay.rows[0].view(), u"LIVE Lobby CH 1");
        EXPECT_EQ(shown[i].overlay.rows[1].view(), times[i]);
        EXPECT_EQ(shown[i].overlay.rows[2].view(), u"0 FPS");
    }
}

TEST(DisplayThread, PacketsOfAnotherChannelDrawNothing) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 3, 3);
    Pipeline pipe(0);
    pipe.record->currentChannel = 1;
    pipe.start();
    for (const Packet& payload : stream.packets) pipe.push(test::headerPacket(64, payload, 1000, 0, true));
    ASSERT_TRUE(pipe.waitTaken(static_cast<uint32_t>(stream.packets.size())));
    pipe.stop();
    EXPECT_EQ(pipe.renderer.presentCalls(), 0u);
    EXPECT_EQ(pipe.decoder.counters().decodeCalls, 0u);
    EXPECT_EQ(pipe.connection.display.dateText[0], 0);  // no time converted
}

TEST(DisplayThread, PacketsStillWaitingWhenTheLinkEndedAreNotShown) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 2, 1);
    Pipeline pipe(0);
    pipe.start();
    pipe.push(test::headerPacket(64, stream.packets[0], 1000, 0, true));
    ASSERT_TRUE(pipe.renderer.waitFor(1));
    // The link ended with a packet still in the ring: the window shows the
    // status lines, not that last picture as if it were live.
    pipe.connection.end.set(LinkEnd{LinkEndCause::PeerClosed, "Connection closed by the recorder"});
    pipe.push(test::headerPacket(64, stream.packets[1], 1001, 0, false));
    ASSERT_TRUE(pipe.waitTaken(2));
    EXPECT_EQ(pipe.renderer.presentCalls(), 1u);
}

TEST(DisplayThread, ModelWithoutFrameKindReleasesEveryPacketUnread) {
    Pipeline pipe(5);
    pipe.start();
    const Packet junk(100, 0x11);
    for (int i = 0; i < 12; ++i) pipe.push(junk);  // more than the ring holds
    ASSERT_TRUE(pipe.waitTaken(12));
    pipe.stop();
    EXPECT_EQ(pipe.shared.framesCounter.load(), 12u);
    EXPECT_EQ(pipe.renderer.presentCalls(), 0u);
}

TEST(DisplayThread, ShortAndBrokenPacketsAreDroppedAndTheStreamGoesOn) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 2, 2);
    Pipeline pipe(10);
    pipe.start();
    pipe.push(Packet(20, 0));                                 // shorter than the header
    pipe.push(Packet(36, 0));                                 // header and end marker only
    pipe.push(test::headerPacket(32, Packet(300, 0xFF), 5, 0, true));  // not a picture
    for (const Packet& payload : stream.packets) pipe.push(test::headerPacket(32, payload, 5, 0, true));
    ASSERT_TRUE(pipe.renderer.waitFor(stream.packets.size()));
    pipe.stop();
    EXPECT_EQ(pipe.renderer.shown().size(), stream.packets.size());
}

TEST(DisplayThread, FailingAcceleratedRendererHandsOverToSoftwareForGood) {
    const EncodedStream stream = test::encodePattern("mpeg4", 704, 576, 3, 3);
    Pipeline pipe(0);
    test::RecordingRenderer failing(false);
    pipe.renderers.setRenderers(&pipe.renderer, &failing);
    pipe.renderers.setFlag(RendererSwitch::kAcceleratedFlag);
    pipe.settings.statistics = 1;
    pipe.start();
    for (const Packet& payload : stream.packets) pipe.push(test::headerPacket(64, payload, 5, 0, true));
    // The picture the accelerated renderer failed on is dropped.
    ASSERT_TRUE(pipe.renderer.waitFor(stream.packets.size() - 1));
    pipe.stop();
    EXPECT_EQ(failing.presentCalls(), 1u);
    EXPECT_EQ(pipe.renderers.flag(), RendererSwitch::kSoftwareFlag);
    const auto shown = pipe.renderer.shown();
    ASSERT_EQ(shown.size(), stream.packets.size() - 1);
    EXPECT_EQ(shown[0].overlay.rows[0].view(), u"LIVE Lobby CH 1");
    EXPECT_EQ(shown[0].overlay.rows[2].view(), u"0 F 0 KB GDI");
}

// Notes how many packets were waiting in the ring whenever a picture is
// presented.
class PendingProbe : public Renderer {
public:
    explicit PendingProbe(const FrameRing& ring) : ring_(ring) {}
    bool present(const DisplayFrame&, const OverlayRows&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingSeen_.push_back(ring_.pending());
        return true;
    }
    std::vector<int> pendingSeen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pendingSeen_;
    }

private:
    const FrameRing& ring_;
    std::mutex mutex_;
    std::vector<int> pendingSeen_;
};

TEST(DisplayThread, LockStepPacketsAreHandedBackOneForOneAndNeverRunAhead) {
    const EncodedStream stream = test::encodePattern("mpeg4", 176, 144, 12, 12);
    Pipeline pipe(0);
    PendingProbe probe(pipe.connection.ring);
    pipe.renderers.setRenderers(&probe, nullptr);
    FrameRing& ring = pipe.connection.ring;
    auto push = [&](size_t i) {
        const Packet packet = test::headerPacket(64, stream.packets[i], 5, 0, i == 0);
        EXPECT_TRUE(ring.push(packet.data(), packet.size(), PushDiscipline::LockStep));
    };

    // The link may push its first packet before the display thread first
    // looks at the ring: the window's one slot-free signal lets it through.
    ring.signalSlotFree();
    push(0);
    pipe.decoder.open(720, 576, *pipe.record);
    pipe.shared.threadState = kLinkReady;
    ASSERT_TRUE(pipe.thread.start());
    ASSERT_TRUE(pipe.waitTaken(1));
    while (ring.released() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Give a stray wake-up time to hand back a slot it never took.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ring.released(), 1u);

    // The rest from the link thread's side, as fast as the ring lets it.
    std::thread producer([&] {
        for (size_t i = 1; i < stream.packets.size(); ++i) push(i);
    });
    producer.join();
    ASSERT_TRUE(pipe.waitTaken(static_cast<uint32_t>(stream.packets.size())));
    pipe.stop();

    EXPECT_EQ(ring.released(), stream.packets.size());
    // Lock-step: the next packet is pushed only once the one being shown is
    // handed back, so none is ever waiting while a picture is presented.
    const std::vector<int> pending = probe.pendingSeen();
    EXPECT_EQ(pending.size(), stream.packets.size());
    EXPECT_EQ(std::count(pending.begin(), pending.end(), 0), static_cast<long>(pending.size()));
}

TEST(DisplayThread, EndsOnStateZeroWithItsDebugLine) {
    ASSERT_TRUE(kDebugOn);
    Pipeline pipe(0);
    testing::internal::CaptureStderr();
    pipe.start();
    // Let the thread reach its wait; without a wake-up signal it notices the
    // state at its next time-out.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipe.shared.threadState = kLinkStopped;
    pipe.thread.join();
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("DISPLAY_THREAD_END \r\n"), std::string::npos) << output;
    EXPECT_FALSE(pipe.thread.joinable());
}

}  // namespace
}  // namespace orvix
