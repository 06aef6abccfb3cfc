// The bridge's command line: the recorder options as orvix-cli checks them,
// secrets from files, and the bridge's own options.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "bridge/bridge_options.h"

namespace orvix::bridge {
namespace {

std::string secretFile(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << content;
    return path;
}

ParsedBridgeLine parse(std::vector<std::string> extra) {
    std::vector<std::string> arguments = {"--host", "10.0.0.5", "--port", "5000", "--user", "admin"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return parseBridgeCommandLine(arguments);
}

TEST(BridgeOptions, AWholeCommandLine) {
    const std::string password = secretFile("recorder.pw", "s3cret\nignored\n");
    const std::string viewer = secretFile("viewer.pw", "watch\r\n");
    const std::string publishing = secretFile("publish.pw", "pub\n");
    const ParsedBridgeLine p =
        parse({"--password-file", password, "--stream", "h264", "--name", "Front Door", "--listen", "0.0.0.0:9554",
               "--listen", "[::]:9554", "--channel", "2", "--rtsp-user", "viewer", "--rtsp-password-file", viewer,
               "--status-listen", "[::1]:8080", "--publish", "rtsp://cam@media:8554/cams/{name}/{ch}",
               "--publish-password-file", publishing, "--close-after", "1", "--join-wait", "4", "--max-clients", "7"});
    ASSERT_EQ(p.outcome, ParsedBridgeLine::Outcome::Run) << p.error;
    const BridgeOptions& o = p.options;
    EXPECT_EQ(o.recorder.host, "10.0.0.5");
    EXPECT_EQ(o.recorder.port, 5000);
    EXPECT_EQ(o.recorder.password, "s3cret");
    EXPECT_EQ(o.recorder.framingKind, 1);
    EXPECT_EQ(o.name, "Front-Door");
    EXPECT_EQ(o.passwordFile, password);
    ASSERT_EQ(o.listen.size(), 2u);
    EXPECT_EQ(o.listen[0].text(), "0.0.0.0:9554");
    EXPECT_TRUE(o.listen[1].ipv6);
    EXPECT_EQ(o.listen[1].text(), "[::]:9554");
    EXPECT_EQ(o.channels, std::vector<int>{2});
    EXPECT_EQ(o.rtspUser, "viewer");
    EXPECT_EQ(o.rtspPassword, "watch");
    EXPECT_EQ(o.status->text(), "[::1]:8080");
    EXPECT_EQ(o.closeAfterSeconds, 1);
    EXPECT_EQ(o.joinWaitSeconds, 4);
    EXPECT_EQ(o.maxClients, 7);
    EXPECT_EQ(o.publishPassword, "pub");
    EXPECT_EQ(publishUrlFor(o.publishUrl, o.name, 2), "rtsp://cam@media:8554/cams/Front-Door/2");

    // Defaults: loopback 8554, every channel, named for the host or DDNS id.
    const ParsedBridgeLine d = parse({});
    ASSERT_EQ(d.outcome, ParsedBridgeLine::Outcome::Run) << d.error;
    ASSERT_EQ(d.options.listen.size(), 1u);
    EXPECT_EQ(d.options.listen[0].text(), "127.0.0.1:8554");
    EXPECT_TRUE(d.options.channels.empty());
    EXPECT_EQ(d.options.name, "10.0.0.5");
    EXPECT_FALSE(d.options.status);
    EXPECT_EQ(parse({"--status-port", "8081"}).options.status->text(), "127.0.0.1:8081");
    EXPECT_EQ(parseBridgeCommandLine({"--config", "/etc/b.conf"}).options.configFile, "/etc/b.conf");
    const ParsedBridgeLine ddns = parseBridgeCommandLine(
        {"--ddns-server", "ddns.example", "--ddns-port", "9000", "--ddns-id", "G9/X 1", "--user", "a"});
    ASSERT_EQ(ddns.outcome, ParsedBridgeLine::Outcome::Run) << ddns.error;
    EXPECT_EQ(ddns.options.name, "G9-X-1");
}

TEST(BridgeOptions, MistakesAreNamed) {
    const std::string viewer = secretFile("viewer2.pw", "watch\n");
    const std::string empty = secretFile("empty.pw", "\n");
    struct Bad {
        std::vector<std::string> arguments;
        std::string says;
    };
    const std::vector<Bad> cases = {
        {{"--password-file", "/nonexistent/pw"}, "cannot read /nonexistent/pw"},
        {{"--password-file", empty}, "no password"},
        {{"--password", "x"}, "unknown option"},
        {{"--listen", "8554"}, "--listen"},
        {{"--listen", "localhost:8554"}, "--listen"},
        {{"--listen", "0.0.0.0:70000"}, "--listen"},
        {{"--listen", "::1:8554"}, "--listen"},
        {{"--status-listen", "[::1]"}, "--status-listen"},
        {{"--max-clients", "0"}, "--max-clients"},
        {{"--publish-password-file", viewer}, "goes with --publish"},
        {{"--config", "x.conf"}, "no other option"},
        {{"--channel", "0"}, "--channel"},
        {{"--channel", "4-2"}, "--channel"},
        {{"--rtsp-user", "viewer"}, "go together"},
        {{"--rtsp-password-file", viewer}, "go together"},
        {{"--publish", "http://x/{ch}"}, "rtsp://"},
        {{"--publish", "rtsp://x/{ch}"}, "needs --channel"},
        {{"--publish", "rtsp://x/cam", "--channel", "1-2"}, "needs {ch}"},
        {{"--status-port"}, "needs a value"},
        {{"--stream", "mjpeg"}, "--stream"},
    };
    for (const Bad& bad : cases) {
        const ParsedBridgeLine p = parse(bad.arguments);
        EXPECT_EQ(p.outcome, ParsedBridgeLine::Outcome::Error) << bad.arguments[0];
        EXPECT_NE(p.error.find(bad.says), std::string::npos) << p.error;
    }
    // Several channels go out together when each has its own address.
    EXPECT_EQ(parse({"--publish", "rtsp://x/{ch}", "--channel", "1,3"}).outcome, ParsedBridgeLine::Outcome::Run);
    // The recorder itself is checked as orvix-cli checks it.
    EXPECT_NE(parseBridgeCommandLine({"--host", "h", "--user", "a"}).error.find("--host and --port"), std::string::npos);
    EXPECT_NE(parseBridgeCommandLine({"--host", "h", "--port", "1"}).error.find("--user"), std::string::npos);
    EXPECT_EQ(parseBridgeCommandLine({"--help"}).outcome, ParsedBridgeLine::Outcome::Help);
}

TEST(BridgeOptions, RecordersOfTheDeviceListComeWithNothingElseOfTheirOwn) {
    ParsedBridgeLine p = parseBridgeCommandLine({"--device", "Hall", "--device", "Yard", "--channel", "2"});
    ASSERT_EQ(p.outcome, ParsedBridgeLine::Outcome::Run) << p.error;
    EXPECT_EQ(p.options.devices, (std::vector<std::string>{"Hall", "Yard"}));
    EXPECT_FALSE(p.options.allDevices);
    EXPECT_EQ(p.options.channels, std::vector<int>{2});
    p = parseBridgeCommandLine({"--all-devices", "--listen", "0.0.0.0:9554"});
    ASSERT_EQ(p.outcome, ParsedBridgeLine::Outcome::Run) << p.error;
    EXPECT_TRUE(p.options.allDevices);
    EXPECT_EQ(p.options.listen[0].port, 9554);
    for (const std::vector<std::string>& mixed :
         {std::vector<std::string>{"--device", "Hall", "--host", "h", "--port", "1", "--user", "a"},
          std::vector<std::string>{"--all-devices", "--user", "a"},
          std::vector<std::string>{"--device", "Hall", "--name", "x"}}) {
        p = parseBridgeCommandLine(mixed);
        EXPECT_EQ(p.outcome, ParsedBridgeLine::Outcome::Error) << mixed[2];
        EXPECT_NE(p.error.find("from the device list"), std::string::npos) << p.error;
    }
    EXPECT_NE(parseBridgeCommandLine({"--device", ""}).error.find("--device"), std::string::npos);
}

TEST(BridgeOptions, ChannelListsAndNames) {
    EXPECT_EQ(parseChannelList("3"), (std::vector<int>{3}));
    EXPECT_EQ(parseChannelList("1-4"), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(parseChannelList("5,1,3-4,3"), (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(parseChannelList("16"), (std::vector<int>{16}));
    for (const char* bad : {"", "17", "0", "1,,2", "1-", "-3", "a", "2-1", "1 2"}) {
        EXPECT_FALSE(parseChannelList(bad)) << bad;
    }
    EXPECT_EQ(urlSafeName("Lobby"), "Lobby");
    EXPECT_EQ(urlSafeName("  Front door #2 "), "Front-door-2");
    EXPECT_EQ(urlSafeName("Büro"), "B-ro");
    EXPECT_EQ(urlSafeName("a/b?c"), "a-b-c");
    for (const char* empty : {"", "///", ".", ".."}) EXPECT_EQ(urlSafeName(empty), "recorder") << empty;
    EXPECT_EQ(publishUrlFor("rtsp://s/{name}-{ch}/{ch}", "x", 12), "rtsp://s/x-12/12");
    EXPECT_EQ(publishUrlFor("rtsp://s/{nam}", "x", 1), "rtsp://s/{nam}");
}

}  // namespace
}  // namespace orvix::bridge
