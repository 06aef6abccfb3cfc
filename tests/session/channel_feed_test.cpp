// The channel feed: what every packet consumer of a channel is given. Key
// pictures must always be able to start a decoder, a new target starts with
// a whole group, and a full target never holds up the others.
#include <gtest/gtest.h>

#include <vector>

#include "session/channel_feed.h"
#include "media/parameter_sets.h"
#include "tests/support/pipeline_support.h"

namespace orvix {
namespace {

using test::Packet;
using Bytes = std::vector<uint8_t>;

const Bytes kSps = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E, 0x9A};
const Bytes kPps = {0, 0, 0, 1, 0x68, 0xCE, 0x32, 0x28};
const Bytes kIdr = {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x21};
const Bytes kSlice = {0, 0, 0, 1, 0x41, 0x9A, 0x02};
const Bytes kDelimiter = {0, 0, 0, 1, 0x09, 0xF0};
const Bytes kVol = {0, 0, 1, 0xB0, 0x01, 0, 0, 1, 0x00, 0, 0, 1, 0x20, 0x08, 0xC8};
const Bytes kIntraVop = {0, 0, 1, 0xB6, 0x10, 0x60};
const Bytes kInterVop = {0, 0, 1, 0xB6, 0x50, 0x61};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class KeptTarget final : public FeedTarget {
public:
    bool offer(const FeedFrame& frame) override {
        if (room == 0) return false;
        if (room > 0) --room;
        frames.push_back(frame);
        return true;
    }
    void end() override { ended = true; }
    Bytes bytes(size_t i) const { return *frames.at(i).bytes; }

    int room = -1;  // pictures it still takes; -1 without limit
    std::vector<FeedFrame> frames;
    bool ended = false;
};

// Header64 packets of channel 1 (0-based), one recorder second apart.
struct Stream {
    ChannelFeed feed{1};
    uint32_t second = 1325376000;
    int64_t arrival = 0;

    explicit Stream(VideoCodec codec) { feed.start(codec); }
    void send(const Bytes& payload, bool key, int channel = 1) {
        const Packet packet = test::headerPacket(64, payload, second++, channel, key);
        feed.packet(packet.data(), packet.size(), FrameKind::Header64, arrival += 40000000);
    }
};

TEST(ChannelFeed, KeyPicturesWithoutTheirConfigurationGetTheLastOneInFront) {
    Stream h264(VideoCodec::H264);
    KeptTarget target;
    h264.feed.attach(&target);
    h264.send(join({kSps, kPps, kIdr}), true);
    h264.send(kSlice, false);
    h264.send(kIdr, true);
    h264.send(join({kDelimiter, kIdr}), true);
    ASSERT_EQ(target.frames.size(), 4u);
    EXPECT_EQ(target.bytes(0), join({kSps, kPps, kIdr}));
    EXPECT_EQ(target.bytes(1), kSlice);
    EXPECT_EQ(target.bytes(2), join({kSps, kPps, kIdr}));
    // The access unit delimiter stays first.
    EXPECT_EQ(target.bytes(3), join({kDelimiter, kSps, kPps, kIdr}));
    EXPECT_TRUE(target.frames[0].key);
    EXPECT_FALSE(target.frames[1].key);
    EXPECT_LT(target.frames[0].timeNs, target.frames[1].timeNs);

    Stream mpeg4(VideoCodec::Mpeg4);
    KeptTarget other;
    mpeg4.feed.attach(&other);
    mpeg4.send(join({kVol, kIntraVop}), true);
    mpeg4.send(kInterVop, false);
    mpeg4.send(kIntraVop, true);
    ASSERT_EQ(other.frames.size(), 3u);
    EXPECT_EQ(other.bytes(2), join({kVol, kIntraVop}));
}

TEST(ChannelFeed, RawKeyPicturesAllCarryTheFixedParameterSet) {
    ChannelFeed feed(0);
    feed.start(VideoCodec::H264);
    KeptTarget target;
    feed.attach(&target);
    const RawParameterSet* set = rawParameterSet(1, 2);
    const Bytes fixed(set->bytes, set->bytes + set->length);
    int64_t arrival = 0;
    auto send = [&](const Bytes& payload, bool key, int channel = 0) {
        const Packet packet = test::rawPacket(payload, 100, channel, key, 0x0A);
        feed.packet(packet.data(), packet.size(), FrameKind::Header32Raw, arrival += 40000000);
    };
    send(kSlice, false);  // before the first key picture: nothing to start from
    EXPECT_FALSE(feed.ready());
    send(kIdr, true);
    send(kSlice, false);
    send(kIdr, true);
    send(kIdr, true, 3);  // another channel's packet
    ASSERT_EQ(target.frames.size(), 3u);
    EXPECT_EQ(target.bytes(0), join({fixed, kIdr}));
    EXPECT_EQ(target.bytes(1), kSlice);
    EXPECT_EQ(target.bytes(2), join({fixed, kIdr}));
    EXPECT_EQ(feed.counters().pictures, 3u);
}

TEST(ChannelFeed, NewTargetsStartWithTheGroupOrAtTheNextKeyPicture) {
    Stream s(VideoCodec::H264);
    s.send(kSlice, false);
    EXPECT_FALSE(s.feed.ready());
    s.send(join({kSps, kPps, kIdr}), true);
    s.send(kSlice, false);
    s.send(kSlice, false);
    EXPECT_TRUE(s.feed.ready());

    KeptTarget withGroup, withoutGroup;
    s.feed.attach(&withGroup);
    s.feed.attach(&withoutGroup, false);
    ASSERT_EQ(withGroup.frames.size(), 3u);
    EXPECT_TRUE(withGroup.frames[0].key);
    // Each kept picture says how far behind the newest it is.
    for (const FeedFrame& frame : withGroup.frames) EXPECT_EQ(frame.newestNs, withGroup.frames[2].timeNs);
    EXPECT_TRUE(withoutGroup.frames.empty());
    s.send(kSlice, false);
    EXPECT_TRUE(withoutGroup.frames.empty());
    s.send(kIdr, true);
    ASSERT_EQ(withoutGroup.frames.size(), 1u);
    EXPECT_EQ(withoutGroup.bytes(0), join({kSps, kPps, kIdr}));
    EXPECT_EQ(withGroup.frames.size(), 5u);
    // Waiting for the first key picture is no drop.
    EXPECT_EQ(s.feed.counters().drops, 0u);
}

TEST(ChannelFeed, AFullTargetIsSkippedToTheNextKeyPictureAndTheOthersGoOn) {
    Stream s(VideoCodec::H264);
    KeptTarget slow, fast;
    s.feed.attach(&slow);
    s.feed.attach(&fast);
    slow.room = 2;
    s.send(join({kSps, kPps, kIdr}), true);
    for (int i = 0; i < 4; ++i) s.send(kSlice, false);
    EXPECT_EQ(slow.frames.size(), 2u);
    EXPECT_EQ(s.feed.counters().drops, 3u);  // the refused one and two skipped
    slow.room = -1;
    s.send(kSlice, false);
    EXPECT_EQ(slow.frames.size(), 2u);  // not before a key picture
    s.send(kIdr, true);
    s.send(kSlice, false);
    ASSERT_EQ(slow.frames.size(), 4u);
    EXPECT_TRUE(slow.frames[2].key);
    EXPECT_EQ(fast.frames.size(), 8u);
    EXPECT_EQ(s.feed.counters().drops, 4u);
}

TEST(ChannelFeed, StopEndsEveryTargetAndANewConnectionStartsAfresh) {
    Stream s(VideoCodec::H264);
    KeptTarget target;
    s.feed.attach(&target);
    s.send(join({kSps, kPps, kIdr}), true);
    s.feed.stop();
    EXPECT_TRUE(target.ended);
    EXPECT_FALSE(s.feed.ready());
    EXPECT_EQ(s.feed.targets(), 0u);
    EXPECT_EQ(s.feed.codec(), VideoCodec::None);
    s.send(join({kSps, kPps, kIdr}), true);  // nothing without a connection
    EXPECT_EQ(target.frames.size(), 1u);

    // The next connection's key picture brings its own configuration; the
    // last connection's is not put in front of anything.
    s.feed.start(VideoCodec::H264);
    KeptTarget next;
    s.feed.attach(&next);
    s.send(kIdr, true);
    ASSERT_EQ(next.frames.size(), 1u);
    EXPECT_EQ(next.bytes(0), kIdr);
    EXPECT_EQ(next.frames[0].timeNs, 0);
}

TEST(ChannelFeed, AChannelThatJoinsTheSameConnectionAgainKeepsItsConfiguration) {
    Stream s(VideoCodec::H264);
    s.send(join({kSps, kPps, kIdr}), true);
    s.feed.stop();  // the channel left the set

    s.feed.rejoin(VideoCodec::H264);
    KeptTarget target;
    s.feed.attach(&target);
    s.send(kIdr, true);  // the recorder sent its parameter sets only once
    ASSERT_EQ(target.frames.size(), 1u);
    EXPECT_EQ(target.bytes(0), join({kSps, kPps, kIdr}));

    // Another codec's configuration, or another connection's, is not kept.
    s.feed.stop();
    s.feed.rejoin(VideoCodec::Mpeg4);
    KeptTarget mpeg4;
    s.feed.attach(&mpeg4);
    s.send(kIntraVop, true);
    s.send(join({kVol, kIntraVop}), true);
    s.feed.stop();
    s.feed.forgetConfiguration();  // a new connection
    s.feed.rejoin(VideoCodec::Mpeg4);
    KeptTarget fresh;
    s.feed.attach(&fresh);
    s.send(kIntraVop, true);
    ASSERT_EQ(mpeg4.frames.size(), 2u);
    EXPECT_EQ(mpeg4.bytes(0), kIntraVop);
    ASSERT_EQ(fresh.frames.size(), 1u);
    EXPECT_EQ(fresh.bytes(0), kIntraVop);
}

TEST(ChannelFeed, AResumedStreamKeepsItsTargetsFromTheNextKeyPictureOnItsTimeline) {
    Stream s(VideoCodec::H264);
    KeptTarget target;
    s.feed.attach(&target);
    s.send(join({kSps, kPps, kIdr}), true);
    s.send(kSlice, false);
    const int64_t before = target.frames.back().timeNs;

    s.feed.resume(VideoCodec::H264);
    EXPECT_FALSE(s.feed.ready());  // the old group is no start for anyone
    EXPECT_FALSE(target.ended);
    s.arrival += 5 * TimestampSmoother::kSecond;
    s.send(kSlice, false);  // the new stream's first picture needs its key picture
    s.send(kIdr, true);     // without configuration: the kept one goes in front
    ASSERT_EQ(target.frames.size(), 3u);
    EXPECT_EQ(target.bytes(2), join({kSps, kPps, kIdr}));
    EXPECT_GT(target.frames[2].timeNs, before + 5 * TimestampSmoother::kSecond);
    EXPECT_EQ(s.feed.counters().drops, 0u);  // waiting for a key is no drop

    // A recorder that comes back with another codec ends the targets.
    s.feed.resume(VideoCodec::Mpeg4);
    EXPECT_TRUE(target.ended);
    EXPECT_EQ(s.feed.targets(), 0u);
    EXPECT_EQ(s.feed.codec(), VideoCodec::Mpeg4);
}

TEST(ChannelFeed, AccessUnitsFromTheQueuesCountAsPacketsAndQueueDropsAsDrops) {
    Stream s(VideoCodec::H264);
    KeptTarget target;
    s.feed.attach(&target);
    const Bytes key = join({kSps, kPps, kIdr});
    AccessUnit unit;
    unit.channel = 1;
    unit.keyPicture = true;
    unit.recorderSeconds = 1325376000;
    unit.payload = key.data();
    unit.payloadLength = key.size();
    s.feed.accessUnit(unit, 1);
    unit.channel = 2;  // another channel's unit is not this feed's
    s.feed.accessUnit(unit, 2);
    ASSERT_EQ(target.frames.size(), 1u);
    EXPECT_EQ(target.bytes(0), key);
    EXPECT_TRUE(s.feed.ready());
    s.feed.countQueueDrops(3);
    EXPECT_EQ(s.feed.counters().drops, 3u);
    EXPECT_EQ(s.feed.counters().pictures, 1u);
}

}  // namespace
}  // namespace orvix
