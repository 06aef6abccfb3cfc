// The simulator following the user's requests through the project's link:
// record information, search and playback, camera control and presets,
// alarm outputs, echo.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/command_wrappers.h"
#include "link/link_status.h"
#include "tests/tools/sim_session.h"
#include "tools/recorder_sim/picture_painter.h"
#include "tools/recorder_sim/recorder_clock.h"

namespace orvix::test {
namespace {

constexpr uint32_t kRangeStart = 1325376000;  // 2012-01-01 00:00:00
constexpr uint32_t kRangeEnd = 1325462400;
constexpr uint32_t kSearchTime = 1325380000;
constexpr sim::Rgb kWhite{255, 255, 255};

// A picture made after everything sent so far has reached the recorder.
Picture freshPicture(SimSession& session, int channel = 0) {
    const size_t from = session.client->packetCount();
    EXPECT_TRUE(session.waitMore(from, 5));
    const auto pictures = session.pictures(channel, from + 3);
    EXPECT_FALSE(pictures.empty());
    return pictures.empty() ? Picture{} : pictures.back();
}

bool markerShown(const Picture& picture) {
    const sim::Rect marker = sim::pictureLayout(picture.width, picture.height).playbackMarker;
    return isNear(picture.mean({marker.x + 1, marker.y + 1, 2, marker.height - 2}), kWhite, 30);
}

bool boxLit(const Picture& picture, int output) {
    const sim::Rect box = sim::pictureLayout(picture.width, picture.height).alarmBoxes[output - 1];
    return isNear(picture.mean({box.x + 1, box.y + 2, 2, box.height - 4}), sim::kAlarmLit, 40);
}

class SimSearch : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SimSearch, RecordInfoThenPlaybackFromTheChosenTimeThenLiveAgain) {
    sim::SimOptions options = simOptions(GetParam());
    options.recordRange = {sim::RecordRange::Mode::Fixed, kRangeStart, kRangeEnd};
    SimSession session(options);
    SimTestClient& client = *session.client;
    ASSERT_TRUE(session.bringUp());
    ASSERT_TRUE(client.waitPackets(2));
    const bool ndav = session.simulator.profile().packetKind == sim::VideoPacketKind::Ndav;

    client.onWindow([&] { requestRecordInfo(&client.connection); });
    ASSERT_TRUE(waitUntil([&] { return client.window.count(VWM_RECORD_INFO) == 1; }));
    for (const auto& h : client.window.handled()) {
        if (h.message != VWM_RECORD_INFO) continue;
        EXPECT_EQ(h.first, kRangeStart);
        EXPECT_EQ(h.second, kRangeEnd);
    }

    const size_t liveCount = client.packetCount();
    const Picture live = session.pictures(0).back();
    EXPECT_FALSE(markerShown(live));
    const auto started = std::chrono::steady_clock::now();
    client.onWindow([&] { startSearch(&client.connection, kSearchTime); });
    ASSERT_TRUE(client.waitPackets(liveCount + 30));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(session.log().count("SEARCH_TIME 1325380000"), 1u);
    EXPECT_EQ(session.log().count(ndav ? "PLAY_CONTROL 01000001" : "PLAY_CONTROL 0000803F"), 1u);

    auto packets = client.packets();
    uint32_t previous = kSearchTime;
    bool first = true;
    for (size_t i = liveCount; i < packets.size(); ++i) {
        const auto info = readPacket(packets[i], session.model());
        ASSERT_TRUE(info);
        // A live picture may slip in between the data request and search mode.
        if (first && info->streamKind == 0) continue;
        EXPECT_EQ(info->streamKind, ndav ? 1 : 8);
        if (first) {
            EXPECT_EQ(info->time, kSearchTime);
        }
        first = false;
        EXPECT_GE(info->time, previous);
        EXPECT_LE(info->time, kSearchTime + elapsed + 1);
        previous = info->time;
    }
    EXPECT_FALSE(first);
    EXPECT_GE(previous, kSearchTime + 1);  // 30 pictures at 25 per second
    const auto played = session.pictures(0, liveCount);
    ASSERT_FALSE(played.empty());
    EXPECT_TRUE(markerShown(played.back()));
    EXPECT_EQ(sim::nearestChannelColour(played.back().background()), 0);

    const size_t playedCount = client.packetCount();
    client.onWindow([&] { endSearch(&client.connection); });
    EXPECT_TRUE(session.log().waitFor("SEARCH_END_REQ"));
    ASSERT_TRUE(waitUntil([&] {
        packets = client.packets();
        return packets.size() > playedCount &&
               readPacket(packets.back(), session.model())->streamKind == 0;
    }));
    const auto info = readPacket(packets.back(), session.model());
    EXPECT_GE(info->time + 2, sim::recorderClockNow());
    EXPECT_FALSE(markerShown(freshPicture(session)));
}

INSTANTIATE_TEST_SUITE_P(NumericAndFixedPlayControl, SimSearch, ::testing::Values(11u, 61u));

TEST(SimRecordInfo, EmptyRangeIsRefusedByTheClient) {
    sim::SimOptions options = simOptions(51);
    options.recordRange.mode = sim::RecordRange::Mode::Empty;
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    session.client->onWindow([&] { requestRecordInfo(&session.client->connection); });
    EXPECT_TRUE(waitUntil([&] { return session.client->window.count(VWM_RECORD_INFO_FAIL) == 1; }));
    EXPECT_EQ(session.client->window.count(VWM_RECORD_INFO), 0u);
    EXPECT_EQ(session.log().count("RECORD_INFO_REQ"), 1u);
}

TEST(SimRecordInfo, DefaultRangeIsTheLastDay) {
    SimSession session(simOptions(11));
    ASSERT_TRUE(session.bringUp());
    session.client->onWindow([&] { requestRecordInfo(&session.client->connection); });
    ASSERT_TRUE(waitUntil([&] { return session.client->window.count(VWM_RECORD_INFO) == 1; }));
    for (const auto& h : session.client->window.handled()) {
        if (h.message != VWM_RECORD_INFO) continue;
        EXPECT_EQ(h.second - h.first, 86400u);
        EXPECT_LE(h.second, sim::recorderClockNow());
    }
}

struct Target {
    double x = 0, y = 0;
    int pixels = 0;
};

Target targetOf(const Picture& picture) {
    Target t;
    EXPECT_TRUE(picture.findTarget(t.x, t.y, t.pixels));
    return t;
}

TEST(SimCameraControl, PanTiltZoomAndPresetsMoveThePicture) {
    SimSession session(simOptions(11));
    SimTestClient& client = *session.client;
    ASSERT_TRUE(session.bringUp());
    auto ptz = [&](int action, int preset, int holdMs) {
        client.onWindow([&] { requestPtz(&client.connection, action, preset); });
        if (holdMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
            client.onWindow([&] { requestPtz(&client.connection, 0, 0); });
        }
    };
    const Target start = targetOf(freshPicture(session));

    ptz(4, 0, 400);  // right: the scene moves left
    EXPECT_TRUE(session.log().waitFor("PTZ channel=0 subcode=1 preset=0 parameter=1"));
    EXPECT_TRUE(session.log().waitFor("PTZ channel=0 subcode=5"));
    const Target panned = targetOf(freshPicture(session));
    EXPECT_LT(panned.x, start.x - 10);
    EXPECT_NEAR(panned.y, start.y, 2);
    const Target stopped = targetOf(freshPicture(session));
    EXPECT_NEAR(stopped.x, panned.x, 1);

    ptz(6, 3, 0);  // store preset 3 here
    EXPECT_TRUE(session.log().waitFor("PTZ channel=0 subcode=17 preset=3 parameter=0"));
    ptz(1, 0, 300);  // up: the scene moves down
    const Target tilted = targetOf(freshPicture(session));
    EXPECT_GT(tilted.y, panned.y + 8);

    ptz(5, 3, 0);  // back to preset 3
    EXPECT_TRUE(session.log().waitFor("PTZ channel=0 subcode=18 preset=3 parameter=0"));
    const Target recalled = targetOf(freshPicture(session));
    EXPECT_NEAR(recalled.x, panned.x, 1);
    EXPECT_NEAR(recalled.y, panned.y, 1);

    ptz(8, 0, 400);  // zoom in: the target grows
    const Target zoomed = targetOf(freshPicture(session));
    EXPECT_GT(zoomed.pixels, recalled.pixels * 5 / 4);
    EXPECT_NEAR(zoomed.x, recalled.x, 1);
}

TEST(SimAlarmOutputs, OutputsAreLitWhileOnAndLogged) {
    SimSession session(simOptions(61));
    SimTestClient& client = *session.client;
    ASSERT_TRUE(session.bringUp());
    Picture picture = freshPicture(session);
    for (int output = 1; output <= 16; ++output) EXPECT_FALSE(boxLit(picture, output)) << output;

    client.onWindow([&] { switchAlarmOn(&client.connection, 2, 0); });
    EXPECT_TRUE(session.log().waitFor("ALARM_OUT on=1 output=2 duration=0"));
    picture = freshPicture(session);
    EXPECT_TRUE(boxLit(picture, 2));
    EXPECT_FALSE(boxLit(picture, 1));
    EXPECT_FALSE(boxLit(picture, 3));

    client.onWindow([&] { switchAlarmOn(&client.connection, 0, 1); });
    EXPECT_TRUE(session.log().waitFor("ALARM_OUT on=1 output=0 duration=1"));
    picture = freshPicture(session);
    for (int output = 1; output <= 16; ++output) EXPECT_TRUE(boxLit(picture, output)) << output;
    // One second later every output is off again.
    EXPECT_TRUE(waitUntil([&] { return !boxLit(freshPicture(session), 16); }));
    EXPECT_FALSE(boxLit(freshPicture(session), 2));

    client.onWindow([&] {
        switchAlarmOn(&client.connection, 5, 60);
        switchAlarmOff(&client.connection);
    });
    EXPECT_TRUE(session.log().waitFor("ALARM_OUT on=0"));
    EXPECT_FALSE(boxLit(freshPicture(session), 5));
}

TEST(SimEcho, RequestsAreSentAndTheAcknowledgementsLogged) {
    sim::SimOptions options = simOptions(71);
    options.echoIntervalSeconds = 1;
    SimSession session(options);
    ASSERT_TRUE(session.bringUp());
    EXPECT_TRUE(waitUntil([&] { return session.log().count("ECHO_ACK") >= 2; }));
    EXPECT_EQ(session.client->status(), kStatusDataSendOk);
}

}  // namespace
}  // namespace orvix::test
