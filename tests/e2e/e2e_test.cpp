// orvix-cli against the recorder and DDNS simulators, as separate programs
// on free loopback ports: every model class, packet kind, codec, protocol
// version, description form and fault, directly and through DDNS, and the
// ways a connection ends or never gets there (reset, close, refused, no
// answer, DDNS answers that lead nowhere or in circles). Checked:
// the exit code, the status lines, the channel's colour in the snapshot,
// what the simulator logged (login, PTZ, alarm, search), playback times and
// recordings as FFmpeg's own tools read them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tests/e2e/e2e_process.h"
#include "tests/support/loopback_server.h"
#include "tools/recorder_sim/picture_painter.h"

using namespace orvix::e2e;

namespace {

struct Case {
    Case(std::string n, std::vector<std::string> s, std::vector<std::string> c, int code = 0, int ch = 1,
         bool viaDdns = false, std::vector<std::string> lines = {}, std::string text = {})
        : name(std::move(n)), sim(std::move(s)), cli(std::move(c)), exitCode(code), channel(ch), ddns(viaDdns),
          logged(std::move(lines)), errorText(std::move(text)) {}
    std::string name;
    std::vector<std::string> sim;  // recorder simulator options
    std::vector<std::string> cli;  // client options besides the address and login
    int exitCode = 0;
    int channel = 1;               // the channel whose colour the snapshot shows
    bool ddns = false;
    std::vector<std::string> logged;  // line prefixes the simulator's log must hold
    std::string errorText;            // part of the client's reason on failure
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

// The numbers of the "status N ..." lines.
std::vector<int> statusNumbers(const std::string& out) {
    std::vector<int> numbers;
    for (const std::string& line : linesStartingWith(out, "status ")) numbers.push_back(std::stoi(line.substr(7)));
    return numbers;
}

// The channel whose colour most of the picture's lower half has (the
// overlay is at the top), or -1.
int dominantChannel(const std::string& pngPath, int* width = nullptr) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, pngPath.c_str(), nullptr, nullptr) < 0) return -1;
    AVPacket* packet = av_packet_alloc();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    int best = -1;
    if (av_read_frame(format, packet) >= 0 && avcodec_open2(context, codec, nullptr) >= 0 &&
        avcodec_send_packet(context, packet) >= 0 && avcodec_receive_frame(context, frame) >= 0 &&
        frame->format == AV_PIX_FMT_RGB24) {
        if (width != nullptr) *width = frame->width;
        std::vector<int> votes(orvix::sim::kColourCount, 0);
        for (int y = frame->height / 2; y < frame->height; y += 2) {
            const uint8_t* row = frame->data[0] + static_cast<size_t>(y) * frame->linesize[0];
            for (int x = 0; x < frame->width; x += 2) {
                const int c = orvix::sim::nearestChannelColour(
                    orvix::sim::Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
                if (c >= 0) ++votes[static_cast<size_t>(c)];
            }
        }
        const auto top = std::max_element(votes.begin(), votes.end());
        if (*top > 0) best = static_cast<int>(top - votes.begin());
    }
    av_frame_free(&frame);
    avcodec_free_context(&context);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return best;
}

bool logHas(const std::vector<std::string>& log, const std::string& prefix) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

struct Outcome {
    Finished run;
    std::vector<std::string> log;
    std::string snapshot;
};

// Starts the simulators the case needs and runs the client against them.
Outcome runCase(const Case& c, const std::string& tag) {
    Outcome outcome;
    const std::string logPath = scratchPath(tag + ".log");
    outcome.snapshot = scratchPath(tag + ".png");
    std::vector<std::string> simArguments = c.sim;
    simArguments.insert(simArguments.end(), {"--log", logPath});
    Simulator recorder("orvix-recorder-sim", simArguments);
    EXPECT_TRUE(recorder.ready()) << recorder.firstLine();
    if (!recorder.ready()) return outcome;

    std::vector<std::string> arguments = {"--user", "admin", "--password", "1234", "--snapshot", outcome.snapshot};
    std::unique_ptr<Simulator> ddns;
    if (c.ddns) {
        ddns = std::make_unique<Simulator>(
            "orvix-ddns-sim", std::vector<std::string>{"--entry", "G9TEST=127.0.0.1:" + std::to_string(recorder.port())});
        EXPECT_TRUE(ddns->ready()) << ddns->firstLine();
        if (!ddns->ready()) return outcome;
        arguments.insert(arguments.end(), {"--ddns-server", "127.0.0.1", "--ddns-port", std::to_string(ddns->port()),
                                           "--ddns-id", "G9TEST"});
    } else {
        arguments.insert(arguments.end(), {"--host", "127.0.0.1", "--port", std::to_string(recorder.port())});
    }
    arguments.insert(arguments.end(), c.cli.begin(), c.cli.end());
    if (std::find(c.cli.begin(), c.cli.end(), "--frames") == c.cli.end()) {
        arguments.insert(arguments.end(), {"--frames", "4"});
    }
    if (std::find(c.cli.begin(), c.cli.end(), "--timeout") == c.cli.end()) {
        arguments.insert(arguments.end(), {"--timeout", "60"});
    }
    outcome.run = runProgram(binaryPath("orvix-cli"), arguments);
    outcome.log = readLines(logPath);
    std::remove(logPath.c_str());
    return outcome;
}

class ClientAgainstSimulator : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(ClientAgainstSimulator, Runs) {
    const Case& c = GetParam();
    const Outcome o = runCase(c, c.name);
    const std::string context = "stdout:\n" + o.run.out + "stderr:\n" + o.run.err + "log:\n" + joined(o.log);
    ASSERT_EQ(o.run.exitCode, c.exitCode) << context;
    for (const std::string& prefix : c.logged) EXPECT_TRUE(logHas(o.log, prefix)) << prefix << "\n" << context;
    if (!c.errorText.empty()) {
        EXPECT_NE(o.run.err.find(c.errorText), std::string::npos) << context;
    }

    if (c.exitCode == 0) {
        const std::vector<int> live = {1, 2, 4, 5, 8, 9, 0};
        std::vector<int> expected = live;
        if (c.ddns) expected.insert(expected.begin(), {10, 9, 12, 13});
        EXPECT_EQ(statusNumbers(o.run.out), expected) << context;
        EXPECT_TRUE(o.run.err.empty()) << context;
        EXPECT_EQ(dominantChannel(o.snapshot), c.channel - 1) << context;
        EXPECT_EQ(linesStartingWith(o.run.out, "decoded ").size(), 1u);
        EXPECT_NE(o.run.out.find(" channel " + std::to_string(c.channel) + "\n"), std::string::npos) << context;
    } else {
        // Every failure says why in one line.
        EXPECT_EQ(std::count(o.run.err.begin(), o.run.err.end(), '\n'), 1) << context;
    }
    std::remove(o.snapshot.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, ClientAgainstSimulator,
    ::testing::Values(
        // Model classes and codecs: Wide MPEG-4 with 64- and 32-byte headers,
        // Plain H.264, Plain raw H.264.
        Case{"wide_mpeg4_header64", {"--model-code", "11"}, {}, 0, 1, false, {"LOGIN account=admin ok=1"}},
        Case{"wide_mpeg4_header32", {"--model-code", "21"}, {}, 0, 1, false, {"LOGIN account=admin ok=1"}},
        Case{"plain_h264", {"--model-code", "51"}, {"--stream", "h264"}, 0, 1, false, {"LOGIN account=admin ok=1"}},
        Case{"plain_raw_h264_ndav", {"--model-code", "61", "--packet-kind", "ndav"}, {"--stream", "h264"}, 0, 1, false,
             {"LOGIN account=admin ok=1"}},
        // Packet kinds.
        Case{"packet_f2", {"--packet-kind", "f2"}, {}, 0},
        Case{"packet_f5", {"--packet-kind", "f5"}, {}, 0},
        Case{"packet_badj", {"--packet-kind", "badj"}, {}, 0},
        Case{"packet_nda", {"--packet-kind", "nda"}, {}, 0},
        Case{"packet_nda_h264", {"--model-code", "51", "--packet-kind", "nda"}, {"--stream", "h264"}, 0},
        // Protocol versions (plain, plain with model field, digests) and the
        // three description forms.
        Case{"protocol_1", {"--protocol-version", "1"}, {}, 0, 1, false, {"LOGIN account=admin ok=1"}},
        Case{"protocol_23", {"--protocol-version", "23"}, {}, 0, 1, false, {"LOGIN account=admin ok=1"}},
        Case{"protocol_24_plain", {"--model-code", "51", "--protocol-version", "24"}, {"--stream", "h264"}, 0, 1,
             false, {"LOGIN account=admin ok=1"}},
        Case{"protocol_23_plain", {"--model-code", "51", "--protocol-version", "23"}, {"--stream", "h264"}, 0, 1,
             false, {"LOGIN account=admin ok=1"}},
        Case{"description_276", {"--description", "276"}, {}, 0},
        Case{"description_556", {"--description", "556"}, {}, 0},
        Case{"wrong_password", {"--password", "secret"}, {}, 3, 1, false, {"LOGIN account=admin ok=0"},
             "login refused"},
        Case{"wrong_password_v1", {"--password", "secret", "--protocol-version", "1"}, {}, 3, 1, false,
             {"LOGIN account=admin ok=0"}, "login refused"},
        // Channels, key pictures only, larger pictures.
        Case{"channel_3", {}, {"--channel", "3"}, 0, 3, false, {"DATA_SEND_REQ flag=0 channels=2"}},
        Case{"channel_16_raw", {"--model-code", "61", "--channels", "16"}, {"--stream", "h264", "--channel", "16"}, 0,
             16},
        Case{"iframe_only", {}, {"--iframe-only", "--frames", "2"}, 0},
        Case{"size_704x576", {"--size", "704x576"}, {}, 0},
        // Commands once video flows.
        Case{"ptz_and_alarm", {}, {"--ptz", "goto:3", "--alarm", "on:2:60"}, 0, 1, false,
             {"PTZ channel=0 subcode=18 preset=3", "ALARM_OUT on=1 output=2 duration=60"}},
        Case{"ptz_left_alarm_off", {}, {"--ptz", "left", "--alarm", "off"}, 0, 1, false, {"PTZ channel=0", "ALARM_OUT on=0"}},
        // Through DDNS.
        Case{"ddns_wide", {}, {}, 0, 1, true, {"LOGIN account=admin ok=1"}},
        Case{"ddns_plain_h264", {"--model-code", "51"}, {"--stream", "h264", "--channel", "2"}, 0, 2, true},
        // Faults of the stream.
        Case{"fault_random_pieces", {"--fault-random-pieces", "--seed", "7"}, {}, 0},
        Case{"fault_split_markers", {"--fault-split-markers"}, {}, 0},
        Case{"fault_garbage", {"--fault-garbage"}, {}, 0},
        Case{"fault_wide_filler", {"--fault-wide-filler"}, {}, 0},
        Case{"fault_all_plain", {"--model-code", "51", "--fault-random-pieces", "--fault-split-markers", "--fault-garbage"},
             {"--stream", "h264"}, 0},
        Case{"fault_stop_reading", {"--fault-stop-reading"}, {"--ptz", "stop"}, 0},
        Case{"fault_stall_short", {"--fault-stall", "1"}, {"--frames", "30"}, 0},
        Case{"fault_stall_timeout", {"--fault-stall", "60"}, {"--frames", "60", "--timeout", "3"}, 4, 1, false, {},
             "no goal within 3 s"},
        Case{"fault_close_mid_packet", {"--fault-close-mid-packet", "2"}, {"--frames", "20"}, 5, 1, false, {},
             "Connection closed by the recorder"},
        // The recorder goes away: a reset while streaming, a close right
        // after the login.
        Case{"fault_reset", {"--fault-reset-after", "3"}, {"--frames", "20"}, 5, 1, false, {"RESET after 3"},
             "orvix-cli: Connection reset by the recorder\n"},
        Case{"fault_close_after_login", {"--fault-close-after-login"}, {}, 5, 1, false, {"CLOSED after login"},
             "orvix-cli: Connection closed by the recorder\n"}),
    [](const ::testing::TestParamInfo<Case>& param) { return param.param.name; });

namespace {

// A port nobody listens on: found by starting and stopping a simulator.
int freePort() {
    Simulator gone("orvix-recorder-sim", {});
    return gone.port();
}

}  // namespace

TEST(ClientAgainstSimulatorEdges, ConnectsThatNeverGetThereAndUsageErrors) {
    const int port = freePort();
    const std::string target = "127.0.0.1:" + std::to_string(port);
    // Connect FAIL, then the status 0 of the client's own disconnect.
    const Finished refused = runProgram(binaryPath("orvix-cli"),
                                        {"--host", "127.0.0.1", "--port", std::to_string(port), "--user", "admin"});
    EXPECT_EQ(refused.exitCode, 5) << refused.err;
    EXPECT_EQ(refused.err, "orvix-cli: Connection refused by " + target + "\n");
    EXPECT_EQ(statusNumbers(refused.out), (std::vector<int>{1, 3, 0})) << refused.out;
    EXPECT_NE(refused.out.find("status 3 Connect FAIL\n"), std::string::npos) << refused.out;

    // The DDNS server refuses in the same way.
    const Finished ddnsRefused =
        runProgram(binaryPath("orvix-cli"), {"--ddns-server", "127.0.0.1", "--ddns-port", std::to_string(port),
                                             "--ddns-id", "G9TEST", "--user", "admin"});
    EXPECT_EQ(ddnsRefused.exitCode, 5) << ddnsRefused.err;
    EXPECT_EQ(ddnsRefused.err, "orvix-cli: Connection refused by the DDNS server " + target + "\n");
    EXPECT_EQ(statusNumbers(ddnsRefused.out), (std::vector<int>{10, 3, 0})) << ddnsRefused.out;

    const Finished usage = runProgram(binaryPath("orvix-cli"), {"--host", "127.0.0.1", "--user", "admin"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
    const Finished help = runProgram(binaryPath("orvix-cli"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--ddns-server"), std::string::npos);
}

TEST(ClientAgainstSimulatorEdges, ConnectWithoutAnswerGivesUpAfterTenSeconds) {
    // The listener's queue is full: the connect's SYN goes unanswered.
    orvix::test::StalledListener stalled;
    const Finished run = runProgram(binaryPath("orvix-cli"), {"--host", "127.0.0.1", "--port",
                                                              std::to_string(stalled.port()), "--user", "admin",
                                                              "--timeout", "60"});
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_EQ(run.err, "orvix-cli: No answer from 127.0.0.1:" + std::to_string(stalled.port()) + "\n");
    EXPECT_EQ(statusNumbers(run.out), (std::vector<int>{1, 3, 0})) << run.out;
}

TEST(ClientAgainstSimulatorEdges, DdnsAnswersThatLeadNowhereOrRoundInCircles) {
    // An answer no recorder can have.
    Simulator nowhere("orvix-ddns-sim", {"--entry", "G9TEST=0.0.0.0:9000"});
    ASSERT_TRUE(nowhere.ready()) << nowhere.firstLine();
    const Finished refused =
        runProgram(binaryPath("orvix-cli"), {"--ddns-server", "127.0.0.1", "--ddns-port", std::to_string(nowhere.port()),
                                             "--ddns-id", "G9TEST", "--user", "admin"});
    EXPECT_EQ(refused.exitCode, 5) << refused.err;
    EXPECT_EQ(refused.err, "orvix-cli: DDNS answer refused: 0.0.0.0:9000 is no recorder address\n");
    EXPECT_EQ(statusNumbers(refused.out), (std::vector<int>{10, 9, 12, 13, 3, 0})) << refused.out;

    // A DDNS server that names itself as the recorder: followed once, then
    // the client stops.
    const int port = freePort();
    const std::string self = "127.0.0.1:" + std::to_string(port);
    Simulator circle("orvix-ddns-sim", {"--port", std::to_string(port), "--entry", "G9TEST=" + self});
    ASSERT_TRUE(circle.ready()) << circle.firstLine();
    const Finished loop =
        runProgram(binaryPath("orvix-cli"), {"--ddns-server", "127.0.0.1", "--ddns-port", std::to_string(port),
                                             "--ddns-id", "G9TEST", "--user", "admin"});
    EXPECT_EQ(loop.exitCode, 5) << loop.err;
    EXPECT_EQ(loop.err, "orvix-cli: DDNS loop: " + self + " is a DDNS server, not a recorder\n");
    EXPECT_EQ(statusNumbers(loop.out), (std::vector<int>{10, 9, 12, 13, 1, 9, 12, 13, 1, 3, 0})) << loop.out;
}

TEST(ClientAgainstSimulatorEdges, RecordRangeAndNoRange) {
    Case withRange{"range", {"--record-range", "1325376000-1325462399"}, {"--record-info"}, 0};
    Outcome o = runCase(withRange, "range");
    ASSERT_EQ(o.run.exitCode, 0) << o.run.err;
    EXPECT_NE(o.run.out.find("record range 2012-01-01 00:00:00 2012-01-01 23:59:59 1325376000 1325462399\n"),
              std::string::npos)
        << o.run.out;
    EXPECT_TRUE(logHas(o.log, "RECORD_INFO_REQ"));

    Case noRange{"no_range", {"--no-record-range"}, {"--record-info"}, 0};
    o = runCase(noRange, "no_range");
    ASSERT_EQ(o.run.exitCode, 0) << o.run.err;
    EXPECT_NE(o.run.out.find("no record range\n"), std::string::npos) << o.run.out;
}

TEST(ClientAgainstSimulatorEdges, PlaybackPicturesCarryTheRecordedTimes) {
    for (const std::vector<std::string>& model :
         {std::vector<std::string>{"--model-code", "11"}, std::vector<std::string>{"--model-code", "61"}}) {
        std::vector<std::string> sim = model;
        sim.insert(sim.end(), {"--record-range", "1325376000-1325462399", "--fps", "10", "--channels", "2"});
        std::vector<std::string> cli = {"--search", "2012-01-01 10:00:00", "--frames", "12", "--verbose",
                                        "--channel", "2", "--record-info"};
        if (model[1] == "61") cli.insert(cli.end(), {"--stream", "h264"});
        const Outcome o = runCase(Case{"search", sim, cli, 0}, "search" + model[1]);
        ASSERT_EQ(o.run.exitCode, 0) << o.run.out << o.run.err;
        EXPECT_TRUE(logHas(o.log, "SEARCH_TIME 1325412000")) << joined(o.log);
        EXPECT_TRUE(logHas(o.log, "SEARCH_PLAY_REQ"));
        const auto pictures = linesStartingWith(o.run.out, "picture ");
        ASSERT_EQ(pictures.size(), 12u) << o.run.out;
        // Ten pictures a second from the chosen time on: seconds 0 and 1.
        EXPECT_NE(pictures.front().find(" channel 2 time 2012-01-01 10:00:00 1325412000 playback"), std::string::npos)
            << o.run.out;
        EXPECT_NE(pictures.back().find("time 2012-01-01 10:00:01 1325412001 playback"), std::string::npos)
            << o.run.out;
        EXPECT_EQ(dominantChannel(o.snapshot), 1);
        std::remove(o.snapshot.c_str());
    }
}

TEST(ClientAgainstSimulatorEdges, RecordingsPlayWithFfmpeg) {
    struct Recording {
        std::vector<std::string> sim;
        std::vector<std::string> cli;
        std::string codec;
        std::string size;
    };
    const std::vector<Recording> recordings = {
        {{"--model-code", "11"}, {}, "mpeg4", "352x288"},
        {{"--model-code", "51", "--size", "320x240"}, {"--stream", "h264"}, "h264", "320x240"},
        {{"--model-code", "61", "--size", "704x480"}, {"--stream", "h264"}, "h264", "704x480"},
    };
    const std::string ffprobe = "/usr/bin/ffprobe", ffmpeg = "/usr/bin/ffmpeg";
    for (const Recording& r : recordings) {
        const std::string file = scratchPath("recording_" + r.codec + r.size + ".mp4");
        std::vector<std::string> cli = r.cli;
        cli.insert(cli.end(), {"--record", file, "--frames", "10"});
        const Outcome o = runCase(Case{"record", r.sim, cli, 0}, "record" + r.size);
        ASSERT_EQ(o.run.exitCode, 0) << o.run.err;
        const Finished probe = runProgram(ffprobe, {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                                    "-show_entries", "stream=codec_name,width,height,nb_read_frames",
                                                    "-of", "default=noprint_wrappers=1", file});
        ASSERT_EQ(probe.exitCode, 0) << probe.err;
        EXPECT_NE(probe.out.find("codec_name=" + r.codec + "\n"), std::string::npos) << probe.out;
        const std::string width = r.size.substr(0, r.size.find('x')), height = r.size.substr(r.size.find('x') + 1);
        EXPECT_NE(probe.out.find("width=" + width + "\n"), std::string::npos) << probe.out;
        EXPECT_NE(probe.out.find("height=" + height + "\n"), std::string::npos) << probe.out;
        const auto frames = linesStartingWith(probe.out, "nb_read_frames=");
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_GE(std::stoi(frames[0].substr(15)), 10) << probe.out;
        // FFmpeg decodes the whole file without an error (its times are the
        // arrival times, so they are passed through as they are).
        const Finished decode = runProgram(ffmpeg, {"-v", "error", "-xerror", "-i", file, "-fps_mode", "passthrough",
                                                    "-enc_time_base", "-1", "-f", "null", "-"});
        EXPECT_EQ(decode.exitCode, 0) << decode.err;
        EXPECT_TRUE(decode.err.empty()) << decode.err;
        std::remove(file.c_str());
        std::remove(o.snapshot.c_str());
    }
}

TEST(ClientAgainstSimulatorEdges, ASpanFromToIsRecordedAndTheRunEndsAtItsEnd) {
    const std::string file = scratchPath("span.mp4");
    const Case span{"span",
                    {"--record-range", "1325376000-1325462399", "--fps", "10"},
                    {"--record-info", "--from", "2012-01-01 10:00:00", "--to", "2012-01-01 10:00:03", "--record", file},
                    0};
    const Outcome o = runCase(span, "span");
    ASSERT_EQ(o.run.exitCode, 0) << o.run.out << o.run.err;
    EXPECT_TRUE(logHas(o.log, "SEARCH_TIME 1325412000")) << joined(o.log);
    // Three seconds of ten pictures: the file holds exactly those and lasts
    // as long as they took to come.
    const Finished probe = runProgram("/usr/bin/ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                                          "-show_entries", "stream=nb_read_frames:format=duration",
                                                          "-of", "default=noprint_wrappers=1", file});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NE(probe.out.find("nb_read_frames=30\n"), std::string::npos) << probe.out;
    const auto duration = linesStartingWith(probe.out, "duration=");
    ASSERT_EQ(duration.size(), 1u) << probe.out;
    EXPECT_NEAR(std::stod(duration[0].substr(9)), 3.0, 0.5) << probe.out;
    std::remove(file.c_str());
    std::remove(o.snapshot.c_str());
}
