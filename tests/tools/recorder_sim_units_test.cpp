// The simulator's pieces on their own: options and profiles, video packets
// read back by the project's stream parser, the reader of client commands,
// the login check, the fault writer's bytes, the pictures, camera control
// and alarm outputs.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "link/command_codes.h"
#include "link/command_payloads.h"
#include "link/model_class.h"
#include "link/recorder_connection.h"
#include "link/stream_parser.h"
#include "link/wire_format.h"
#include "media/calendar_time.h"
#include "tools/recorder_sim/alarm_outputs.h"
#include "tools/recorder_sim/camera_control.h"
#include "tools/recorder_sim/channel_stream.h"
#include "tools/recorder_sim/login_check.h"
#include "tools/recorder_sim/picture_painter.h"
#include "tools/recorder_sim/sim_options.h"
#include "tools/recorder_sim/stream_writer.h"
#include "tools/recorder_sim/video_packet.h"
#include "tools/sim_common/client_command_reader.h"

namespace orvix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

OptionsResult parse(std::vector<const char*> args, SimOptions& options, std::string& error) {
    args.insert(args.begin(), "orvix-recorder-sim");
    return parseSimOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(SimOptionsTest, DefaultsGiveAWideMpeg4RecorderWithF5Packets) {
    SimOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), OptionsResult::Run) << error;
    SimProfile profile;
    ASSERT_TRUE(resolveProfile(options, profile, error));
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.bind, "127.0.0.1");
    EXPECT_EQ(profile.modelIndex, 0);
    EXPECT_EQ(profile.framing, FramingKind::Wide);
    EXPECT_EQ(profile.frameKind, FrameKind::Header64);
    EXPECT_EQ(profile.codec, VideoCodec::Mpeg4);
    EXPECT_EQ(profile.packetKind, VideoPacketKind::F5);
    EXPECT_EQ(profile.headerBytes, 64);
}

TEST(SimOptionsTest, RawModelsTakeNdavAndTheCodingConfigurationOfTheirSize) {
    SimOptions options;
    std::string error;
    ASSERT_EQ(parse({"--model-code", "61", "--size=704x480", "--channels", "16", "--no-record-range", "--fault-stall",
                     "3", "--record-range", "10-20", "--log", "/tmp/x", "--fault-reset-after", "7",
                     "--fault-close-after-login"},
                    options, error),
              OptionsResult::Run)
        << error;
    SimProfile profile;
    ASSERT_TRUE(resolveProfile(options, profile, error));
    EXPECT_EQ(profile.framing, FramingKind::Plain);
    EXPECT_EQ(profile.frameKind, FrameKind::Header32Raw);
    EXPECT_EQ(profile.packetKind, VideoPacketKind::Ndav);
    EXPECT_EQ(profile.codingConfiguration, 0x02);
    EXPECT_EQ(options.channels, 16);
    EXPECT_EQ(options.faults.stallSeconds, 3);
    EXPECT_EQ(options.faults.resetAfter, 7);
    EXPECT_TRUE(options.faults.closeAfterLogin);
    EXPECT_EQ(options.recordRange.mode, RecordRange::Mode::Fixed);  // the last one given wins
    EXPECT_EQ(options.recordRange.end, 20u);
}

TEST(SimOptionsTest, ChannelsChooseAModelWithThatManyCamerasUnlessAModelIsGiven) {
    const struct {
        std::vector<const char*> args;
        int32_t modelIndex;  // 0: 4 cameras, 1: 9, 2: 16
    } cases[] = {
        {{"--channels", "4"}, 0},
        {{"--channels", "5"}, 1},
        {{"--channels", "9"}, 1},
        {{"--channels", "10"}, 2},
        {{"--channels", "16"}, 2},
        {{"--channels", "16", "--model-code", "11"}, 0},
        {{"--model-code", "11", "--channels", "9"}, 0},
    };
    for (const auto& c : cases) {
        SimOptions options;
        std::string error;
        ASSERT_EQ(parse(c.args, options, error), OptionsResult::Run) << error;
        SimProfile profile;
        ASSERT_TRUE(resolveProfile(options, profile, error));
        EXPECT_EQ(profile.modelIndex, c.modelIndex) << c.args[1];
    }
}

TEST(SimOptionsTest, CombinationsTheClientCannotShowAreRefused) {
    const std::vector<std::vector<const char*>> refused = {
        {"--model-code", "99"},                          // unknown model
        {"--model-code", "61", "--packet-kind", "f5"},   // raw H.264 outside NDAV
        {"--packet-kind", "ndav"},                       // NDAV for an MPEG-4 model
        {"--model-code", "61", "--size", "320x240"},     // no fixed parameter set
        {"--size", "800x600"},                           // beyond the client's 720x576
        {"--size", "353x288"},                           // odd
        {"--size", "352"},
        {"--description", "300"},
        {"--channels", "17"},
        {"--fps", "0"},
        {"--account", "an-account-name-that-is-longer-than-forty-nine-bytes"},
        {"--packet-kind", "f3"},
        {"--port"},
        {"--colour", "red"},
        {"stray"},
        {"--fault-garbage=1"},
        {"--fault-reset-after", "-1"},
    };
    for (const auto& args : refused) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(parse(args, options, error), OptionsResult::Invalid) << args.front();
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimOptionsTest, HelpListsEveryOptionWithItsDefault) {
    SimOptions options;
    std::string error;
    EXPECT_EQ(parse({"--model-code", "99", "--help"}, options, error), OptionsResult::Help);
    const std::string usage = simUsage();
    for (const char* name :
         {"--port", "--bind", "--model-code", "--protocol-version", "--account", "--password", "--description",
          "--packet-kind", "--channels", "--fps", "--size", "--echo-interval", "--record-range", "--no-record-range",
          "--log", "--seed", "--fault-random-pieces", "--fault-split-markers", "--fault-garbage",
          "--fault-wide-filler", "--fault-close-mid-packet", "--fault-stop-reading", "--fault-stall",
          "--fault-reset-after", "--fault-close-after-login", "--loop", "--fault-silent-channel",
          "--fault-mute-before", "--fault-junk-after-login", "--fault-on-connection"})
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    for (const char* value : {"(default 11)", "(default 24)", "(default 552)", "(default 352x288", "(default 25)",
                              "(default 4)", "(default 127.0.0.1)", "(default admin)", "(default 1234)"})
        EXPECT_NE(usage.find(value), std::string::npos) << value;
}

TEST(SimOptionsTest, LoopAndSilentChannelTakeTheirRanges) {
    SimOptions options;
    std::string error;
    EXPECT_EQ(parse({"--loop", "2", "--fault-silent-channel", "16"}, options, error), OptionsResult::Run) << error;
    EXPECT_EQ(options.loopSeconds, 2);
    EXPECT_EQ(options.faults.silentChannel, 16);
    for (std::vector<const char*> bad : {std::vector<const char*>{"--loop", "0"}, {"--loop", "11"},
                                         {"--fault-silent-channel", "0"}, {"--fault-silent-channel", "17"}}) {
        SimOptions o;
        EXPECT_EQ(parse(bad, o, error), OptionsResult::Invalid) << bad[0] << " " << bad[1];
    }
}

TEST(SimOptionsTest, MuteFaultsNameOneStepAndMayHitOneConnection) {
    struct Good {
        std::vector<const char*> args;
        SimFaults::Mute mute;
        int connection;
    };
    for (const Good& good : {Good{{"--fault-mute-before", "connect-ok"}, SimFaults::Mute::BeforeConnectOk, 0},
                             Good{{"--fault-mute-before", "login", "--fault-on-connection", "2"},
                                  SimFaults::Mute::BeforeLoginAnswer, 2},
                             Good{{"--fault-mute-before", "data-send"}, SimFaults::Mute::BeforeDataAnswer, 0},
                             Good{{"--fault-on-connection", "3", "--fault-junk-after-login"},
                                  SimFaults::Mute::JunkAfterLogin, 3}}) {
        SimOptions options;
        std::string error;
        ASSERT_EQ(parse(good.args, options, error), OptionsResult::Run) << error;
        EXPECT_EQ(options.faults.mute, good.mute) << good.args[1];
        EXPECT_EQ(options.faults.muteConnection, good.connection) << good.args[1];
    }
    for (const std::vector<const char*>& bad :
         {std::vector<const char*>{"--fault-mute-before", "video"},
          {"--fault-mute-before", "login", "--fault-junk-after-login"},
          {"--fault-on-connection", "2"},
          {"--fault-junk-after-login", "--fault-on-connection", "0"}}) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(parse(bad, options, error), OptionsResult::Invalid) << bad[0] << " " << bad[1];
    }
}

// A replayed loop keeps the key pictures where live encoding has them: once a
// second, and at once when the channel is asked for again.
TEST(SimChannelStream, LoopReplaysWithKeyPicturesOnceASecondAndOnRequest) {
    SimOptions options;
    options.framesPerSecond = 5;
    options.width = 176;
    options.height = 144;
    SimProfile profile;
    std::string error;
    ASSERT_TRUE(resolveProfile(options, profile, error)) << error;
    ChannelStream stream(options, profile);
    PictureContent content;
    ASSERT_TRUE(stream.prepareLoop(content, 2, error)) << error;
    ASSERT_TRUE(stream.looping());
    std::vector<bool> keys;
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(stream.keyDue(), i % 5 == 0) << i;
        media::EncodedPicture picture;
        ASSERT_TRUE(stream.encode(content, picture, error)) << error;
        keys.push_back(picture.key);
    }
    EXPECT_EQ(keys, (std::vector<bool>{true, false, false, false, false, true, false, false, false, false, true,
                                       false}));
    stream.restartKeys();
    EXPECT_TRUE(stream.keyDue());
    stream.skipPicture();
    EXPECT_FALSE(stream.keyDue());
    stream.requestKey();
    EXPECT_TRUE(stream.keyDue());
}

// The project's parser with a handler that keeps the video packets.
struct ParsedVideo : StreamHandler {
    void onCommand(uint32_t, const uint8_t*, size_t) override {}
    void onVideo(const uint8_t* packet, size_t length, PushDiscipline) override {
        packets.emplace_back(packet, packet + length);
    }
    std::vector<Bytes> packets;
};

struct Parser {
    DeviceRecord* record = createRecord();
    LinkShared shared;
    RecorderConnection connection;
    ParsedVideo handler;

    explicit Parser(int mode) {
        connection.record = record;
        connection.shared = &shared;
        connection.allocateBuffers();
        connection.mode = mode;
        connection.resync = 1;
        shared.iframeOnly = 0;
        shared.threadState = 6;
        record->currentChannel = 3;
        connection.lastChannel = 3;
    }
    ~Parser() { destroyRecord(record); }
    void feed(const Bytes& bytes) { parseRecorderStream(connection, bytes.data(), bytes.size(), handler); }
};

TEST(SimVideoPacket, EveryKindPassesTheClientsFilterAndCarriesTheDisplayFields) {
    const Bytes picture(101, 0x55);
    const uint32_t time = 1325380000;
    for (VideoPacketKind kind : {VideoPacketKind::F2, VideoPacketKind::F5, VideoPacketKind::Badj,
                                 VideoPacketKind::Ndav, VideoPacketKind::Nda}) {
        for (int headerBytes : {32, 64}) {
            if (kind == VideoPacketKind::Ndav && headerBytes == 64) continue;
            for (bool search : {false, true}) {
                SCOPED_TRACE(std::string(packetKindName(kind)) + " header " + std::to_string(headerBytes) +
                             (search ? " search" : " live"));
                VideoPacketHeader header{kind, headerBytes, 3, true, time, search, 0x09};
                Bytes packet;
                ASSERT_TRUE(buildVideoPacket(header, picture.data(), picture.size(), packet));
                EXPECT_FALSE(hasEarlyEndMarker(kind, packet.data(), packet.size()));

                Parser wrongMode(search ? 0 : 1);
                wrongMode.feed(packet);
                EXPECT_TRUE(wrongMode.handler.packets.empty());
                Parser parser(search ? 1 : 0);
                parser.feed(packet);
                ASSERT_EQ(parser.handler.packets.size(), 1u);
                const Bytes& slot = parser.handler.packets[0];
                if (kind == VideoPacketKind::Ndav) {
                    EXPECT_EQ(slot[4], 3);
                    EXPECT_EQ(slot[5], 0);
                    EXPECT_EQ(readLe32(slot.data() + 8) + kRawTimeOffset, time);
                    EXPECT_EQ(readLe32(slot.data() + 12), picture.size());
                    EXPECT_EQ(slot[20], 0x09);
                    EXPECT_EQ(slot.size(), picture.size() + 36);
                } else {
                    EXPECT_EQ(readLe32(slot.data() + 4), time);
                    EXPECT_EQ(slot[8], 0x13);
                    // Padding to the kind's units is zero and lies before the end marker.
                    for (size_t i = headerBytes + picture.size(); i + 4 < slot.size(); ++i) EXPECT_EQ(slot[i], 0);
                    for (size_t i = 32; i < static_cast<size_t>(headerBytes); ++i) EXPECT_EQ(slot[i], 0);
                }
                EXPECT_TRUE(std::equal(picture.begin(), picture.end(), slot.begin() + headerBytes));
            }
        }
    }
}

TEST(SimVideoPacket, NonKeyPicturesAreMarkedAsSuch) {
    for (VideoPacketKind kind : {VideoPacketKind::F5, VideoPacketKind::Nda, VideoPacketKind::Ndav}) {
        Bytes packet;
        ASSERT_TRUE(buildVideoPacket({kind, 32, 2, false, 0, false, 0}, nullptr, 0, packet));
        if (kind == VideoPacketKind::Ndav) {
            EXPECT_NE(packet[5], 0);
        } else {
            EXPECT_EQ(packet[8], 0x22);  // frame type 2 (what NDA requires of a non-key picture), channel 2
        }
    }
}

TEST(SimVideoPacket, EndMarkersInsideAPictureAreFoundForTheKindsThatAcceptThem) {
    const Bytes nend = {0x11, 'N', 'E', 'N', 'D', 0x22};
    const Bytes shortEnd = {0x11, 0x00, 0x00, 0x01, 0xB4, 0x22};
    for (VideoPacketKind kind : {VideoPacketKind::F2, VideoPacketKind::F5, VideoPacketKind::Badj,
                                 VideoPacketKind::Ndav, VideoPacketKind::Nda}) {
        Bytes packet;
        ASSERT_TRUE(buildVideoPacket({kind, 32, 0, true, 0, false, 0}, nend.data(), nend.size(), packet));
        EXPECT_EQ(hasEarlyEndMarker(kind, packet.data(), packet.size()), kind != VideoPacketKind::F2)
            << packetKindName(kind);
        ASSERT_TRUE(buildVideoPacket({kind, 32, 0, true, 0, false, 0}, shortEnd.data(), shortEnd.size(), packet));
        EXPECT_EQ(hasEarlyEndMarker(kind, packet.data(), packet.size()),
                  kind == VideoPacketKind::F2 || kind == VideoPacketKind::F5)
            << packetKindName(kind);
    }
    // A time stamp can hold a marker too.
    Bytes packet;
    ASSERT_TRUE(buildVideoPacket({VideoPacketKind::F5, 32, 0, true, 0xB4010000, false, 0}, nullptr, 0, packet));
    EXPECT_TRUE(hasEarlyEndMarker(VideoPacketKind::F5, packet.data(), packet.size()));
}

TEST(SimVideoPacket, PacketsBeyondTheClientsBuffersAreNotBuilt) {
    const Bytes big(kMaxVideoPacket, 0x55);
    Bytes packet;
    EXPECT_FALSE(buildVideoPacket({VideoPacketKind::F5, 32, 0, true, 0, false, 0}, big.data(), big.size() - 35, packet));
    EXPECT_TRUE(packet.empty());
    EXPECT_TRUE(buildVideoPacket({VideoPacketKind::F5, 32, 0, true, 0, false, 0}, big.data(), big.size() - 36, packet));
    EXPECT_EQ(packet.size(), kMaxVideoPacket);
    EXPECT_FALSE(buildVideoPacket({VideoPacketKind::F5, 32, 16, true, 0, false, 0}, big.data(), 10, packet));
}

Bytes framed(FramingKind framing, uint32_t code, const Bytes& payload) {
    Bytes out(framedLength(framing, payload.size()));
    out.resize(frameCommand(framing, code, payload.data(), payload.size(), out.data(), out.size()));
    return out;
}

TEST(SimCommandReader, CommandsOfBothFramingsComeOutWholeFromAnyChunking) {
    Bytes ptz(16, 0);
    writeLe32(ptz.data(), 0x444E454E);  // "NEND" inside the payload
    writeLe32(ptz.data() + 4, 18);
    Bytes login(100, 0x4E);
    Bytes stream = {0x12, 0x00, 0x00};  // junk, and a start marker's beginning
    for (const Bytes& p : {framed(FramingKind::Wide, COMMAND_ECHO_ACK, {}), framed(FramingKind::Plain, COMMAND_PTZ_REQ, ptz),
                           framed(FramingKind::Wide, COMMAND_SEARCH_TIME_REQ, {1, 2, 3, 4}),
                           framed(FramingKind::Plain, COMMAND_LOGIN_REQ, login),
                           framed(FramingKind::Plain, 77, {9, 9})}) {
        stream.insert(stream.end(), p.begin(), p.end());
        stream.push_back(0xEE);
    }
    for (size_t chunk : {size_t{1}, size_t{5}, stream.size()}) {
        ClientCommandReader reader;
        std::vector<ClientCommand> commands;
        for (size_t i = 0; i < stream.size(); i += chunk) {
            reader.feed(stream.data() + i, std::min(chunk, stream.size() - i));
            ClientCommand c;
            while (reader.next(c)) commands.push_back(c);
        }
        ASSERT_EQ(commands.size(), 5u) << "chunk " << chunk;
        EXPECT_EQ(commands[0].code, COMMAND_ECHO_ACK);
        EXPECT_EQ(commands[1].framing, FramingKind::Plain);
        EXPECT_EQ(commands[1].payload, ptz);
        EXPECT_EQ(commands[2].payload, (Bytes{1, 2, 3, 4}));
        EXPECT_EQ(commands[3].payload, login);
        EXPECT_EQ(commands[4].code, 77u);
    }
}

TEST(SimCommandReader, APacketWithoutEndIsDroppedAtTheCommandLimit) {
    ClientCommandReader reader;
    Bytes stream = {0x00, 0x00, 0xAD, 0xC3, 3, 0, 0, 0};
    stream.resize(kCommandPacketLimit + 10, 0x41);
    const Bytes echo = framed(FramingKind::Plain, COMMAND_ECHO_ACK, {});
    stream.insert(stream.end(), echo.begin(), echo.end());
    reader.feed(stream.data(), stream.size());
    ClientCommand c;
    ASSERT_TRUE(reader.next(c));
    EXPECT_EQ(c.code, COMMAND_ECHO_ACK);
    EXPECT_LT(reader.pending(), 4u);
}

struct LoginForm {
    int32_t modelIndex;
    uint16_t version;
};

Bytes clientLogin(int32_t modelIndex, uint16_t version, std::u16string_view account, std::u16string_view password) {
    DeviceRecord* record = createRecord();
    record->modelIndex = modelIndex;
    record->protocolVersion = version;
    setText(record->account, account);
    setText(record->password, password);
    Bytes out(104);
    out.resize(buildLoginPayload(*record, out.data()));
    destroyRecord(record);
    return out;
}

TEST(SimLoginCheck, TheClientsFormsPassAndEveryDeviationFails) {
    for (auto [model, version] : {LoginForm{0, 0}, LoginForm{0, 1}, LoginForm{0, 2}, LoginForm{10, 23},
                                  LoginForm{0, 24}, LoginForm{26, 1}, LoginForm{26, 23}, LoginForm{48, 40}}) {
        SCOPED_TRACE("model " + std::to_string(model) + " version " + std::to_string(version));
        const FramingKind framing = isWideClass(model) ? FramingKind::Wide : FramingKind::Plain;
        const FramingKind other = framing == FramingKind::Wide ? FramingKind::Plain : FramingKind::Wide;
        const LoginExpectation expected{framing, version, "admin", "1234"};
        const Bytes good = clientLogin(model, version, u"admin", u"1234");
        LoginResult r = checkLogin(expected, framing, good.data(), good.size());
        EXPECT_TRUE(r.ok) << r.reason;
        EXPECT_EQ(r.account, "admin");
        EXPECT_EQ(checkLogin(expected, other, good.data(), good.size()).reason, "framing");
        const Bytes wrong = clientLogin(model, version, u"admin", u"12345");
        EXPECT_EQ(checkLogin(expected, framing, wrong.data(), wrong.size()).reason, "password");
        const Bytes stranger = clientLogin(model, version, u"guest", u"1234");
        EXPECT_EQ(checkLogin(expected, framing, stranger.data(), stranger.size()).reason, "account");
        Bytes cut = good;
        cut.pop_back();
        EXPECT_EQ(checkLogin(expected, framing, cut.data(), cut.size()).reason, "length");
        if (version >= 2) {
            Bytes field = good;
            field[100] ^= 7;  // the other class's model field
            EXPECT_EQ(checkLogin(expected, framing, field.data(), field.size()).reason, "model-field");
        }
        if (version >= 24) {
            Bytes tail = good;
            tail[kLoginFieldSize + 40] = 1;  // a byte after the password digest
            EXPECT_EQ(checkLogin(expected, framing, tail.data(), tail.size()).reason, "password");
        } else {
            Bytes unterminated = good;
            std::fill(unterminated.begin(), unterminated.begin() + kLoginFieldSize, 'a');
            EXPECT_EQ(checkLogin(expected, framing, unterminated.data(), unterminated.size()).reason, "account");
        }
    }
}

TEST(SimLoginCheck, AnEmptyAccountIsTheDigestOfTheSaltAlone) {
    const LoginExpectation expected{FramingKind::Plain, 24, "", "1234"};
    const Bytes login = clientLogin(26, 24, u"", u"1234");
    EXPECT_TRUE(checkLogin(expected, FramingKind::Plain, login.data(), login.size()).ok);
}

TEST(SimStreamWriter, JunkNeverStartsAPacketAndFillerNeverEndsOne) {
    std::mt19937 random(3);
    const Bytes junk = StreamWriter::junk(random, 100000);
    Parser parser(0);
    parser.feed(junk);
    EXPECT_EQ(parser.connection.parser.state, kParserHunting);

    Bytes payload(24);
    for (int trial = 0; trial < 2000; ++trial) {
        for (uint8_t& b : payload) b = static_cast<uint8_t>(random() % 4 == 0 ? 0x4E : random());
        Bytes packet = framed(FramingKind::Wide, COMMAND_LOGIN_OK, payload);
        StreamWriter::randomiseFiller(packet, random);
        uint32_t reg = 0;
        for (size_t i = 0; i + 1 < packet.size(); ++i) {
            reg = (reg << 8) | packet[i];
            ASSERT_FALSE(i >= 4 && (reg == kWideEndMarker || reg == kPlainEndMarker)) << "trial " << trial;
        }
        Bytes decoded(64);
        DecodedCommand command;
        ASSERT_TRUE(decodeCommand(packet.data(), packet.size(), FramingKind::Wide, decoded.data(), decoded.size(),
                                  command));
        EXPECT_EQ(command.code, COMMAND_LOGIN_OK);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), decoded.begin()));
    }
}

TEST(SimPicture, ChannelsAreToldApartByColourAndTheSceneFollowsTheCamera) {
    for (int c = 0; c < kColourCount; ++c) EXPECT_EQ(nearestChannelColour(channelColour(c)), c);
    EXPECT_EQ(nearestChannelColour({0, 0, 0}), -1);

    const int width = 352, height = 288;
    std::vector<uint8_t> picture(width * height * 4);
    auto colourAt = [&](int x, int y) {
        const uint8_t* p = &picture[(static_cast<size_t>(y) * width + x) * 4];
        return Rgb{p[2], p[1], p[0]};
    };
    PictureContent content;
    content.channel = 5;
    content.alarms.set(2);
    content.playback = true;
    paintPicture(content, picture.data(), width, height, width * 4);
    const PictureLayout layout = pictureLayout(width, height);
    const Rgb corner = colourAt(2, height / 2 + 6);  // off the grid lines
    EXPECT_EQ(nearestChannelColour(corner), 5);
    const TargetPlacement centre = targetPlacement(content.camera, width, height);
    const Rgb black = colourAt(centre.x + centre.radius * 2 / 3, centre.y);
    EXPECT_EQ(black.r + black.g + black.b, 0);
    const Rect lit = layout.alarmBoxes[2];
    EXPECT_EQ(colourAt(lit.x + 1, lit.y + 1).g, kAlarmLit.g);
    EXPECT_NE(colourAt(layout.alarmBoxes[1].x + 1, layout.alarmBoxes[1].y + 1).g, kAlarmLit.g);
    EXPECT_EQ(colourAt(layout.playbackMarker.x + 1, layout.playbackMarker.y + 1).r, 255);

    CameraView turned;
    turned.pan = 0.5;
    turned.tilt = 0.5;
    turned.zoom = 2;
    const TargetPlacement moved = targetPlacement(turned, width, height);
    EXPECT_LT(moved.x, centre.x);
    EXPECT_GT(moved.y, centre.y);
    EXPECT_EQ(moved.radius, 2 * centre.radius);
}

TEST(SimCameraControlTest, MotionRunsUntilStopAndPresetsComeBack) {
    CameraControl camera;
    camera.apply(kPtzRight, 0);
    camera.advance(1.0);
    EXPECT_DOUBLE_EQ(camera.view().pan, 0.5);
    camera.apply(kPtzSetPreset, 4);
    camera.advance(10.0);
    EXPECT_DOUBLE_EQ(camera.view().pan, 1.0);  // at the end of its travel
    camera.apply(kPtzStop, 0);
    EXPECT_FALSE(camera.moving());
    camera.apply(kPtzZoomIn, 0);
    camera.advance(100.0);
    EXPECT_DOUBLE_EQ(camera.view().zoom, CameraControl::kMaxZoom);
    camera.apply(kPtzMoveToPreset, 4);
    EXPECT_FALSE(camera.moving());
    EXPECT_DOUBLE_EQ(camera.view().pan, 0.5);
    EXPECT_DOUBLE_EQ(camera.view().zoom, 1.0);
    camera.apply(kPtzMoveToPreset, 9);  // never stored: nothing happens
    EXPECT_DOUBLE_EQ(camera.view().pan, 0.5);
    EXPECT_FALSE(camera.apply(42, 0));
}

TEST(SimAlarmOutputsTest, DurationsAllAndOff) {
    AlarmOutputs alarms;
    const auto now = AlarmOutputs::Clock::now();
    EXPECT_TRUE(alarms.switchOn(3, 5, now));
    EXPECT_TRUE(alarms.switchOn(128, 0, now));
    EXPECT_FALSE(alarms.switchOn(129, 0, now));
    EXPECT_FALSE(alarms.switchOn(-1, 0, now));
    alarms.expire(now + std::chrono::seconds(4));
    EXPECT_TRUE(alarms.isOn(3));
    alarms.expire(now + std::chrono::seconds(5));
    EXPECT_FALSE(alarms.isOn(3));
    EXPECT_TRUE(alarms.isOn(128));  // no limit
    alarms.switchOn(0, 0, now);
    EXPECT_TRUE(alarms.shown().all());
    alarms.switchOff();
    EXPECT_TRUE(alarms.shown().none());
    EXPECT_FALSE(alarms.isOn(128));
}

}  // namespace
}  // namespace orvix::sim
