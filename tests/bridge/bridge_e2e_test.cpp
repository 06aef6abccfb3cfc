// orvix-bridge against the recorder simulator, as separate programs on free
// loopback ports, read by FFmpeg's own tools over RTSP/TCP: the codec and
// size each recorder kind gives, the channel's pictures, authentication,
// the connection's life, two channels over one connection, publishing, a
// recorder that goes away and comes back, the recorders of a device list.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/device_list.h"
#include "store/device_store.h"
#include "tests/bridge/bridge_process.h"
#include "tests/e2e/e2e_process.h"

using namespace orvix::bridge::test;
using orvix::e2e::binaryPath;
using orvix::e2e::Finished;
using orvix::e2e::runProgram;
using orvix::e2e::scratchPath;

namespace {

const std::string kFfmpeg = "/usr/bin/ffmpeg";
const std::string kFfprobe = "/usr/bin/ffprobe";

std::unique_ptr<Background> startSimulator(std::vector<std::string> arguments, const std::string& log = {}) {
    arguments.insert(arguments.begin(), {"--port", "0", "--echo-interval", "0"});
    if (!log.empty()) arguments.insert(arguments.end(), {"--log", log});
    return std::make_unique<Background>(binaryPath("orvix-recorder-sim"), arguments, "listening on ");
}

std::string passwordFile(const std::string& name, const std::string& password) {
    const std::string path = scratchPath(name);
    std::ofstream(path) << password << "\n";
    return path;
}

std::unique_ptr<Background> startBridge(int recorderPort, std::vector<std::string> arguments) {
    std::vector<std::string> all = {"--host", "127.0.0.1", "--port", std::to_string(recorderPort), "--user", "admin",
                                    "--password-file", passwordFile("recorder.pw", "1234"), "--name", "demo",
                                    "--listen", "127.0.0.1:0"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return std::make_unique<Background>(binaryPath("orvix-bridge"), all, "listening on rtsp://");
}

std::string url(const Background& bridge, int channel, const std::string& credentials = {}) {
    return "rtsp://" + credentials + "127.0.0.1:" + std::to_string(bridge.port()) + "/demo/" + std::to_string(channel);
}

Finished probe(const std::string& address) {
    return runProgram(kFfprobe, {"-v", "error", "-rtsp_transport", "tcp", "-show_entries",
                                 "stream=codec_name,width,height", "-of", "default=noprint_wrappers=1", address},
                      60);
}

// Decodes `frames` pictures of `address` to rgb24 in `file`.
Finished decode(const std::string& address, int frames, const std::string& file) {
    // The stream's own times, as they are (no frame rate is forced on them).
    return runProgram(kFfmpeg, {"-v", "error", "-rtsp_transport", "tcp", "-i", address, "-frames:v",
                                std::to_string(frames), "-fps_mode", "passthrough", "-enc_time_base", "-1", "-f",
                                "rawvideo", "-pix_fmt",
                                "rgb24", "-y", file},
                      60);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool waitFor(const std::function<bool()>& done, int guardSeconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The status page's port, from the bridge's "status on http://127.0.0.1:N/".
int statusPortOf(const Background& bridge) {
    const std::string prefix = "status on http://127.0.0.1:";
    std::string out;
    if (!waitFor([&] { return (out = bridge.out()).find(prefix) != std::string::npos; })) return 0;
    return std::atoi(out.c_str() + out.find(prefix) + prefix.size());
}

struct Kind {
    std::string name;
    std::vector<std::string> simulator;
    std::vector<std::string> bridge;
    std::string codec;
    int width;
    int height;
};

class EachRecorderKind : public ::testing::TestWithParam<Kind> {};

}  // namespace

TEST_P(EachRecorderKind, ServesItsCodecSizeAndTheChannelsPictures) {
    const Kind& kind = GetParam();
    auto simulator = startSimulator(kind.simulator);
    ASSERT_TRUE(simulator->ready()) << simulator->err();
    auto bridge = startBridge(simulator->port(), kind.bridge);
    ASSERT_TRUE(bridge->ready()) << bridge->err();

    const Finished probed = probe(url(*bridge, 2));
    ASSERT_EQ(probed.exitCode, 0) << probed.err << bridge->err();
    EXPECT_EQ(probed.out, "codec_name=" + kind.codec + "\nwidth=" + std::to_string(kind.width) +
                              "\nheight=" + std::to_string(kind.height) + "\n");

    const std::string pictures = scratchPath(kind.name + ".rgb");
    const Finished decoded = decode(url(*bridge, 2), 30, pictures);
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err << bridge->err();
    EXPECT_TRUE(decoded.err.empty()) << decoded.err;
    int count = 0;
    EXPECT_EQ(dominantChannel(pictures, kind.width, kind.height, &count), 1);
    EXPECT_EQ(count, 30);
    std::remove(pictures.c_str());
    EXPECT_NE(bridge->err().find("client 127.0.0.1 joins /demo/2"), std::string::npos) << bridge->err();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EachRecorderKind,
    ::testing::Values(Kind{"mpeg4", {"--model-code", "11"}, {}, "mpeg4", 352, 288},
                      Kind{"h264", {"--model-code", "51"}, {"--stream", "h264"}, "h264", 352, 288},
                      Kind{"raw_h264", {"--model-code", "61", "--size", "704x576"}, {"--stream", "h264"}, "h264",
                           704, 576}),
    [](const ::testing::TestParamInfo<Kind>& param) { return param.param.name; });

TEST(Bridge, AWrongRtspPasswordGets401AndNeverTouchesTheRecorder) {
    const std::string log = scratchPath("auth.log");
    auto simulator = startSimulator({}, log);
    ASSERT_TRUE(simulator->ready());
    auto bridge = startBridge(simulator->port(), {"--rtsp-user", "viewer", "--rtsp-password-file",
                                                  passwordFile("viewer.pw", "watch")});
    ASSERT_TRUE(bridge->ready()) << bridge->err();

    for (const std::string& credentials : {std::string("viewer:wrong@"), std::string()}) {
        const Finished refused = probe(url(*bridge, 1, credentials));
        EXPECT_NE(refused.exitCode, 0);
        EXPECT_NE(refused.err.find("401 Unauthorized"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(fileText(log).find("CLIENT connected"), std::string::npos) << fileText(log);
    EXPECT_EQ(countOf(bridge->err(), "refused for /demo/1: wrong RTSP user or password"), 1u) << bridge->err();

    const Finished allowed = probe(url(*bridge, 1, "viewer:watch@"));
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_NE(allowed.out.find("codec_name=mpeg4"), std::string::npos);
    EXPECT_NE(fileText(log).find("CLIENT connected"), std::string::npos);
    std::remove(log.c_str());
}

TEST(Bridge, TheConnectionOpensOnDemandAndClosesAfterTheLastClientLeft) {
    const std::string log = scratchPath("linger.log");
    auto simulator = startSimulator({}, log);
    ASSERT_TRUE(simulator->ready());
    auto bridge = startBridge(simulator->port(), {"--close-after", "1", "--status-port", "0"});
    ASSERT_TRUE(bridge->ready()) << bridge->err();
    EXPECT_EQ(fileText(log).find("CLIENT connected"), std::string::npos);

    const int statusPort = statusPortOf(*bridge);
    ASSERT_GT(statusPort, 0) << bridge->out();
    auto status = [&] { return httpGet(statusPort); };
    EXPECT_NE(status().find("recorder demo idle bytes 0\n"), std::string::npos) << status();

    ASSERT_EQ(probe(url(*bridge, 3)).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return fileText(log).find("CLIENT closed") != std::string::npos; }));
    EXPECT_NE(bridge->err().find("recorder demo closed: no client for 1 s"), std::string::npos) << bridge->err();
    std::string after;
    EXPECT_TRUE(waitFor([&] { return (after = status()).find("recorder demo idle cameras 4 bytes ") != std::string::npos; }))
        << after;
    EXPECT_NE(after.find("channel demo/3 clients 0 watchers 0 pictures "), std::string::npos) << after;

    // The next client brings it back.
    ASSERT_EQ(probe(url(*bridge, 3)).exitCode, 0);
    EXPECT_EQ(countOf(fileText(log), "CLIENT connected"), 2u);
    std::remove(log.c_str());
}

TEST(Bridge, TwoClientsOnTwoChannelsShareOneRecorderConnection) {
    const std::string log = scratchPath("shared.log");
    auto simulator = startSimulator({}, log);
    ASSERT_TRUE(simulator->ready());
    auto bridge = startBridge(simulator->port(), {"--status-port", "0"});
    ASSERT_TRUE(bridge->ready()) << bridge->err();
    const int statusPort = statusPortOf(*bridge);
    ASSERT_GT(statusPort, 0) << bridge->out();

    // The first client watches long enough to see the second come and go.
    const std::string first = scratchPath("shared-2.rgb");
    const std::string second = scratchPath("shared-3.rgb");
    Background longer(kFfmpeg, {"-v", "error", "-rtsp_transport", "tcp", "-i", url(*bridge, 2), "-frames:v", "150",
                                "-f", "rawvideo", "-pix_fmt", "rgb24", "-y", first});
    ASSERT_TRUE(waitFor([&] { return bridge->err().find("joins /demo/2") != std::string::npos; })) << bridge->err();
    Background shorter(kFfmpeg, {"-v", "error", "-rtsp_transport", "tcp", "-i", url(*bridge, 3), "-frames:v", "25",
                                 "-f", "rawvideo", "-pix_fmt", "rgb24", "-y", second});
    ASSERT_TRUE(waitFor([&] { return bridge->err().find("joins /demo/3") != std::string::npos; })) << bridge->err();
    const std::string page = httpGet(statusPort);
    EXPECT_NE(page.find("recorder demo streaming channels 2,3 cameras 4"), std::string::npos) << page;
    EXPECT_NE(page.find("channel demo/2 clients 1 watchers 1"), std::string::npos) << page;
    EXPECT_NE(page.find("channel demo/3 clients 1 watchers 1"), std::string::npos) << page;

    EXPECT_EQ(shorter.wait(60), 0) << shorter.err();
    // The second channel left: one request for the first alone.
    EXPECT_TRUE(waitFor([&] { return countOf(fileText(log), "DATA_SEND_REQ") == 3; })) << fileText(log);
    EXPECT_EQ(longer.wait(60), 0) << longer.err();

    const std::string commands = fileText(log);
    EXPECT_EQ(countOf(commands, "CLIENT connected"), 1u) << commands;
    EXPECT_EQ(countOf(commands, "LOGIN"), 1u) << commands;
    const size_t one = commands.find("DATA_SEND_REQ flag=0 channels=1\n");
    const size_t both = commands.find("DATA_SEND_REQ flag=0 channels=1,2\n");
    const size_t oneAgain = commands.find("DATA_SEND_REQ flag=0 channels=1\n", both);
    EXPECT_TRUE(one < both && both != std::string::npos && oneAgain != std::string::npos) << commands;
    EXPECT_EQ(countOf(commands, "DATA_SEND_REQ"), 3u) << commands;

    int count = 0;
    EXPECT_EQ(dominantChannel(first, 352, 288, &count), 1);
    EXPECT_EQ(count, 150);
    EXPECT_EQ(dominantChannel(second, 352, 288, &count), 2);
    EXPECT_EQ(count, 25);
    std::remove(first.c_str());
    std::remove(second.c_str());
    std::remove(log.c_str());
}

TEST(Bridge, PublishingDeliversDecodablePicturesToAListeningReceiver) {
    auto simulator = startSimulator({"--model-code", "51"});
    ASSERT_TRUE(simulator->ready());
    const int receiverPort = freePort();
    const std::string pictures = scratchPath("published.rgb");
    Background receiver(kFfmpeg, {"-v", "error", "-rtsp_flags", "listen", "-rtsp_transport", "tcp", "-i",
                                  "rtsp://127.0.0.1:" + std::to_string(receiverPort) + "/live/demo/2", "-frames:v",
                                  "30", "-f", "rawvideo", "-pix_fmt", "rgb24", "-y", pictures});
    ASSERT_TRUE(waitListening(receiverPort));
    auto bridge = startBridge(simulator->port(),
                              {"--stream", "h264", "--channel", "2", "--publish",
                               "rtsp://127.0.0.1:" + std::to_string(receiverPort) + "/live/{name}/{ch}"});
    ASSERT_TRUE(bridge->ready()) << bridge->err();
    EXPECT_EQ(receiver.wait(60), 0) << receiver.err() << bridge->err();
    int count = 0;
    EXPECT_EQ(dominantChannel(pictures, 352, 288, &count), 1);
    EXPECT_EQ(count, 30);
    EXPECT_NE(bridge->err().find("publishing demo/2 to rtsp://127.0.0.1:"), std::string::npos) << bridge->err();
    std::remove(pictures.c_str());
}

TEST(Bridge, AClientWatchingARecorderThatGoesAwayGetsPicturesAgainWhenItIsBack) {
    const std::string log = scratchPath("outage.log");
    // Up for 3 s, away for 2 s, over and over.
    auto simulator = startSimulator({"--fault-down-after", "3", "--fault-down-for", "2"}, log);
    ASSERT_TRUE(simulator->ready());
    // Short reconnect timings for the bridge: first delay, longest delay, stall.
    ::setenv("ORVIX_TEST_RECONNECT_MS", "200,500,3000", 1);
    auto bridge = startBridge(simulator->port(), {});
    ::unsetenv("ORVIX_TEST_RECONNECT_MS");
    ASSERT_TRUE(bridge->ready()) << bridge->err();

    // 100 pictures at 25 a second do not fit in one up time: some come
    // after the recorder returned.
    const std::string pictures = scratchPath("outage.rgb");
    const Finished decoded = decode(url(*bridge, 1), 100, pictures);
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err << bridge->err();
    int count = 0;
    EXPECT_EQ(dominantChannel(pictures, 352, 288, &count), 0);
    EXPECT_EQ(count, 100);
    EXPECT_GE(countOf(fileText(log), "CLIENT connected"), 2u) << fileText(log);
    EXPECT_NE(bridge->err().find("recorder demo reconnects in "), std::string::npos) << bridge->err();
    EXPECT_NE(bridge->err().find("recorder demo reconnected: streams channel 1 (MPEG-4)"), std::string::npos)
        << bridge->err();
    EXPECT_EQ(bridge->err().find("recorder demo failed"), std::string::npos) << bridge->err();
    std::remove(pictures.c_str());
    std::remove(log.c_str());
}

TEST(Bridge, ARecorderThatIsNotThereIsAnErrorForTheClient) {
    auto bridge = startBridge(freePort(), {"--join-wait", "5"});
    ASSERT_TRUE(bridge->ready()) << bridge->err();
    const Finished refused = probe(url(*bridge, 1));
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("503"), std::string::npos) << refused.err;
    EXPECT_NE(bridge->err().find("refused for /demo/1: the recorder cannot be reached"), std::string::npos)
        << bridge->err();
}

TEST(Bridge, ARecorderPasswordBeyondAsciiFromAFileLogsInWithoutALocale) {
    const std::string password = "p\u00e4ss \u2713";
    const std::string log = scratchPath("bridge-locale.log");
    auto simulator = startSimulator({"--password", password}, log);
    ASSERT_TRUE(simulator->ready()) << simulator->err();
    // As under systemd: no locale in the environment.
    Background bridge("/usr/bin/env",
                      {"-u", "LANG", "-u", "LC_ALL", "-u", "LC_CTYPE", binaryPath("orvix-bridge"), "--host",
                       "127.0.0.1", "--port", std::to_string(simulator->port()), "--user", "admin", "--password-file",
                       passwordFile("locale.pw", password), "--name", "demo", "--listen", "127.0.0.1:0"},
                      "listening on rtsp://");
    ASSERT_TRUE(bridge.ready()) << bridge.err();
    const Finished probed = probe(url(bridge, 1));
    EXPECT_EQ(probed.exitCode, 0) << probed.err << bridge.err();
    EXPECT_NE(fileText(log).find("LOGIN account=admin ok=1"), std::string::npos) << fileText(log);
}

TEST(Bridge, ServesTheRecordersOfTheDeviceList) {
    auto simulator = startSimulator({"--model-code", "51"});
    ASSERT_TRUE(simulator->ready()) << simulator->err();
    // A device list of its own: one recorder at the simulator, one that has
    // no address; no keyring, so the passwords stay in the file.
    const std::string config = scratchPath("bridge-config");
    std::filesystem::create_directories(config + "/orvix");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvix-tests-no-bus", 1);
    {
        orvix::DeviceList list;
        auto add = [&](uint32_t id, std::u16string_view name, std::u16string_view address, uint16_t port) {
            orvix::DeviceRecord* r = orvix::createRecord();
            r->id = id;
            orvix::setText(r->name, name);
            orvix::setText(r->account, u"admin");
            orvix::setText(r->password, u"1234");
            r->framingKind = 1;  // H.264
            r->useStatic = 1;
            orvix::setText(r->address, address);
            r->port = port;
            list.append(r);
        };
        add(1, u"Demo Hall", u"127.0.0.1", static_cast<uint16_t>(simulator->port()));
        add(2, u"Unset", u"", 0);
        orvix::DeviceStore store(config + "/orvix/devices.db");
        ASSERT_TRUE(store.save(list));
    }

    const Finished unknown = runProgram(binaryPath("orvix-bridge"), {"--device", "Nowhere"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("no recorder named \"Nowhere\""), std::string::npos) << unknown.err;

    Background bridge(binaryPath("orvix-bridge"), {"--all-devices", "--listen", "127.0.0.1:0"}, "listening on rtsp://");
    ASSERT_TRUE(bridge.ready()) << bridge.err();
    EXPECT_NE(bridge.err().find("left out: --device: \"Unset\" has no recorder address"), std::string::npos)
        << bridge.err();
    const std::string address = "rtsp://127.0.0.1:" + std::to_string(bridge.port()) + "/Demo-Hall/3";
    const Finished probed = probe(address);
    ASSERT_EQ(probed.exitCode, 0) << probed.err << bridge.err();
    EXPECT_EQ(probed.out, "codec_name=h264\nwidth=352\nheight=288\n");
    const std::string pictures = scratchPath("device-list.rgb");
    const Finished decoded = decode(address, 10, pictures);
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err << bridge.err();
    EXPECT_EQ(dominantChannel(pictures, 352, 288), 2);
    std::remove(pictures.c_str());
    std::filesystem::remove_all(config);
}
