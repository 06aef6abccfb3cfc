// The recorder simulator against the project's own link and decoder: every
// model class, packet kind and codec, the login forms, the description
// forms, channel switching and I-frame-only streams.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "link/command_codes.h"
#include "link/command_wrappers.h"
#include "link/link_status.h"
#include "tests/tools/sim_session.h"
#include "tools/encoder/h264_bitstream.h"
#include "tools/recorder_sim/picture_painter.h"
#include "tools/recorder_sim/recorder_clock.h"

namespace orvix::test {
namespace {

using sim::VideoPacketKind;

struct StreamCase {
    const char* name;
    uint32_t modelCode;
    VideoPacketKind kind;
    int width = 352;
    int height = 288;
};

class SimStreams : public ::testing::TestWithParam<StreamCase> {};

char wireKindByte(VideoPacketKind kind) {
    switch (kind) {
        case VideoPacketKind::F2:
            return '2';
        case VideoPacketKind::F5:
            return '5';
        case VideoPacketKind::Badj:
            return 'J';
        case VideoPacketKind::Ndav:
            return 'V';
        case VideoPacketKind::Nda:
            return '`';
    }
    return '?';
}

TEST_P(SimStreams, ClientLogsInAndDecodesTheChannelsPictures) {
    const StreamCase& c = GetParam();
    sim::SimOptions options = simOptions(c.modelCode);
    options.packetKind = c.kind;
    options.width = c.width;
    options.height = c.height;
    SimSession session(options);
    const uint32_t before = sim::recorderClockNow();
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(8));
    const uint32_t after = sim::recorderClockNow();

    EXPECT_EQ(session.client->record->modelIndex.load(), session.model());
    EXPECT_EQ(session.client->record->framingKind.load(), static_cast<int32_t>(session.simulator.profile().framing));
    const std::vector<PacketBytes> packets = session.client->packets();
    for (const PacketBytes& packet : packets) {
        const auto info = readPacket(packet, session.model());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->kind, wireKindByte(c.kind));
        EXPECT_EQ(info->channel, 0);
        EXPECT_EQ(info->streamKind, 0);
        EXPECT_GE(info->time + 1, before);
        EXPECT_LE(info->time, after + 1);
    }
    EXPECT_TRUE(readPacket(packets.front(), session.model())->key);

    const std::vector<Picture> pictures = session.pictures(0);
    ASSERT_GE(pictures.size(), 6u);
    for (const Picture& picture : pictures) {
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        EXPECT_EQ(sim::nearestChannelColour(picture.background()), 0);
    }
    EXPECT_TRUE(session.notices().empty());
}

INSTANTIATE_TEST_SUITE_P(
    ModelsAndKinds, SimStreams,
    ::testing::Values(StreamCase{"WideHeader64Mpeg4F2", 11, VideoPacketKind::F2},
                      StreamCase{"WideHeader64Mpeg4F5", 11, VideoPacketKind::F5},
                      StreamCase{"WideHeader64Mpeg4Badj", 42, VideoPacketKind::Badj},
                      StreamCase{"WideHeader64Mpeg4Nda", 91, VideoPacketKind::Nda},
                      StreamCase{"WideHeader32Mpeg4F5", 21, VideoPacketKind::F5},
                      StreamCase{"PlainHeader32H264F5", 51, VideoPacketKind::F5},
                      StreamCase{"PlainHeader32H264F2", 81, VideoPacketKind::F2},
                      StreamCase{"PlainHeader32H264Badj", 53, VideoPacketKind::Badj},
                      StreamCase{"PlainHeader32H264Nda", 84, VideoPacketKind::Nda},
                      StreamCase{"PlainRawH264Pal", 61, VideoPacketKind::Ndav},
                      StreamCase{"PlainRawH264Ntsc", 101, VideoPacketKind::Ndav, 352, 240}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SimRawStream, SlicesCarryNoParameterSetsAndDecodeBehindTheFixedSet) {
    sim::SimOptions options = simOptions(64);  // a raw model
    options.width = 704;
    options.height = 480;
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(4));
    const auto packets = session.client->packets();
    for (const PacketBytes& packet : packets) {
        const auto info = readPacket(packet, session.model());
        ASSERT_TRUE(info);
        EXPECT_EQ(packet[20], 0x02);  // 480 lines: standard bit 0, resolution code 2
        bool slice = false;
        for (const auto& unit : media::splitAnnexB(packet.data() + info->payloadOffset, info->payloadLength)) {
            EXPECT_TRUE(unit.type() == 1 || unit.type() == 5) << "NAL type " << unit.type();
            slice = slice || unit.type() == (info->key ? 5 : 1);
        }
        EXPECT_TRUE(slice);
    }
    const auto pictures = session.pictures(0);
    ASSERT_GE(pictures.size(), 3u);
    EXPECT_EQ(pictures.front().width, 704);
    EXPECT_EQ(sim::nearestChannelColour(pictures.back().background()), 0);
}

struct LoginCase {
    const char* name;
    uint32_t modelCode;
    int protocolVersion;
    int descriptionLength;
};

class SimLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(SimLogin, EveryFormIsAcceptedAndTheDescriptionStored) {
    const LoginCase& c = GetParam();
    sim::SimOptions options = simOptions(c.modelCode);
    options.protocolVersion = c.protocolVersion;
    options.descriptionLength = c.descriptionLength;
    options.account = "operator";
    options.password = "s3cret";
    SimSession session(options, {.account = u"operator", .password = u"s3cret"});
    ASSERT_TRUE(session.bringUp());
    EXPECT_TRUE(session.log().waitFor("LOGIN account=operator ok=1"));
    const DeviceRecord& record = *session.client->record;
    EXPECT_EQ(record.modelCode, c.modelCode);
    EXPECT_EQ(record.protocolVersion, c.protocolVersion);
    EXPECT_EQ(record.cameraCount, 4);
    EXPECT_EQ(record.modelIndex.load(), session.model());
    if (c.descriptionLength != 276) {
        EXPECT_EQ(std::u16string_view(record.cameraNames[3]), u"CAM 04");
    }
}

INSTANTIATE_TEST_SUITE_P(
    VersionsAndForms, SimLogin,
    ::testing::Values(LoginCase{"WidePlainTextV0", 11, 0, 552}, LoginCase{"WidePlainTextV1Short", 12, 1, 276},
                      LoginCase{"WideModelFieldV2", 13, 2, 556}, LoginCase{"WideModelFieldV23", 22, 23, 552},
                      LoginCase{"WideDigestV24", 41, 24, 552}, LoginCase{"WideDigestV24Short", 11, 24, 276},
                      LoginCase{"PlainPlainTextV1", 71, 1, 552}, LoginCase{"PlainModelFieldV7Short", 52, 7, 276},
                      LoginCase{"PlainModelFieldV23", 61, 23, 556}, LoginCase{"PlainDigestV30", 82, 30, 552}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SimLoginRefused, WrongPasswordOrAccountGetsLoginFail) {
    for (const auto& [model, version, account, password, line] :
         {std::tuple{11u, 23, u"admin", u"nope", "LOGIN account=admin ok=0 reason=password"},
          std::tuple{61u, 24, u"admin", u"nope", "LOGIN account=admin ok=0 reason=password"},
          std::tuple{61u, 24, u"root", u"1234", "LOGIN account=? ok=0 reason=account"},
          std::tuple{11u, 1, u"root", u"1234", "LOGIN account=root ok=0 reason=account"}}) {
        sim::SimOptions options = simOptions(model);
        options.protocolVersion = version;
        SimSession session(options, {.account = account, .password = password});
        session.client->connect();
        EXPECT_TRUE(session.client->waitStatus(kStatusLoginFail)) << line;
        EXPECT_TRUE(session.log().waitFor(line)) << line;
        EXPECT_EQ(session.log().count("DATA_SEND_REQ"), 0u);
        EXPECT_EQ(session.client->packetCount(), 0u);
    }
}

TEST(SimChannels, SwitchingShowsTheNewChannelFromAKeyPicture) {
    SimSession session(simOptions(51));
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(3));
    session.client->selectChannel(2);
    EXPECT_TRUE(session.log().waitFor("DATA_SEND_REQ flag=0 channels=2"));
    ASSERT_TRUE(waitUntil([&] {
        const auto packets = session.client->packets();
        int count = 0;
        for (const auto& p : packets) count += readPacket(p, session.model())->channel == 2 ? 1 : 0;
        return count >= 4;
    }));
    const auto packets = session.client->packets();
    size_t first = packets.size();
    for (size_t i = 0; i < packets.size(); ++i) {
        if (readPacket(packets[i], session.model())->channel == 2) {
            first = i;
            break;
        }
    }
    ASSERT_LT(first, packets.size());
    EXPECT_TRUE(readPacket(packets[first], session.model())->key);
    const auto before = session.pictures(0);
    const auto after = session.pictures(2);
    ASSERT_FALSE(before.empty());
    ASSERT_GE(after.size(), 3u);
    EXPECT_EQ(sim::nearestChannelColour(before.front().background()), 0);
    for (const Picture& p : after) EXPECT_EQ(sim::nearestChannelColour(p.background()), 2);
    EXPECT_FALSE(isNear(before.front().background(), after.back().background()));
}

TEST(SimChannels, NoChannelStopsTheVideo) {
    SimSession session(simOptions(11));
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.client->waitPackets(2));
    session.client->onWindow([&] { requestData(&session.client->connection, kNoChannel, 0); });
    ASSERT_TRUE(session.log().waitFor("DATA_SEND_REQ flag=0 channels=none"));
    // Let what was already on its way arrive, then nothing more comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const size_t count = session.client->packetCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(session.client->packetCount(), count);
}

TEST(SimChannels, IFrameOnlySendsOnlyKeyPictures) {
    // Model code 61 asks with three packets (stop, channel, I-frame-only).
    SimSession session(simOptions(61), {.iframeOnly = true});
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(session.log().waitFor("DATA_SEND_REQ flag=1 channels=0"));
    EXPECT_EQ(session.log().count("DATA_SEND_REQ"), 3u);
    ASSERT_TRUE(session.client->waitPackets(2));
    const auto packets = session.client->packets();
    for (const auto& p : packets) EXPECT_TRUE(readPacket(p, session.model())->key);
    PacketDecoder decoder(session.model());
    EXPECT_EQ(decoder.decodeAll(packets, 0).size(), packets.size());
}

}  // namespace
}  // namespace orvix::test
