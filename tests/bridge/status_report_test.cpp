// What the bridge says about itself: the metrics in the Prometheus text
// format, the paths as JSON, and the health verdict; and the HTTP server
// that serves them.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "bridge/http_server.h"
#include "bridge/status_report.h"
#include "tests/bridge/http_client.h"

namespace orvix::bridge {
namespace {

BridgeSnapshot sample() {
    BridgeSnapshot snapshot;
    RecorderStatus lobby;
    lobby.name = "lobby";
    lobby.state.phase = RecorderPhase::Streaming;
    lobby.bytes = 1000;
    lobby.reconnects = 2;
    RecorderStatus yard;
    yard.name = "yard \"2\"";
    yard.state.phase = RecorderPhase::Reconnecting;
    yard.state.reconnectAt = snapshot.now + std::chrono::seconds(4);
    yard.state.attempt = 3;
    snapshot.recorders = {lobby, yard};
    PathSnapshot path;
    path.path = "/lobby/2";
    path.recorder = "lobby";
    path.channel = 2;
    path.clients = 3;
    path.counters = {250, 123456, 1};
    path.picturesPerSecond = 25;
    snapshot.paths = {path};
    snapshot.front.open = 3;
    snapshot.front.loginFailures = 7;
    return snapshot;
}

TEST(StatusReport, MetricsAreStrictPrometheusTextWithEveryFamilyTyped) {
    const std::string text = prometheusMetrics(sample());
    const std::regex sampleLine(R"re([a-z_]+(\{([a-z_]+="([^"\\]|\\.)*",?)*\})? [0-9]+)re");
    std::istringstream lines(text);
    std::set<std::string> typed;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# TYPE ", 0) == 0) {
            typed.insert(line.substr(7, line.find(' ', 7) - 7));
            continue;
        }
        if (line.rfind("# HELP ", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(line, sampleLine)) << line;
        EXPECT_EQ(typed.count(line.substr(0, line.find_first_of("{ "))), 1u) << line;
    }
    for (const char* expected : {
             "orvix_recorder_up{recorder=\"lobby\"} 1\n",
             "orvix_recorder_up{recorder=\"yard \\\"2\\\"\"} 0\n",
             "orvix_recorder_state{recorder=\"lobby\",state=\"streaming\"} 1\n",
             "orvix_recorder_reconnects_total{recorder=\"lobby\"} 2\n",
             "orvix_channel_pictures_total{recorder=\"lobby\",channel=\"2\"} 250\n",
             "orvix_channel_drops_total{recorder=\"lobby\",channel=\"2\"} 1\n",
             "orvix_path_clients{path=\"/lobby/2\"} 3\n",
             "orvix_rtsp_login_failures_total 7\n",
         }) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
}

TEST(StatusReport, PathsAndHealthNameEachRecordersState) {
    const BridgeSnapshot snapshot = sample();
    const std::string json = pathsJson(snapshot);
    EXPECT_NE(json.find("{\"name\":\"yard \\\"2\\\"\",\"state\":\"reconnecting\",\"words\":\"reconnecting in 4 s (attempt 3)\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"path\":\"/lobby/2\",\"recorder\":\"lobby\",\"channel\":2,\"state\":\"streaming\",\"clients\":3"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"pictures_per_second\":25.0"), std::string::npos) << json;
    std::string why;
    EXPECT_FALSE(healthy(snapshot, why));
    EXPECT_EQ(why, "recorder yard \"2\": reconnecting in 4 s (attempt 3)\n");
    BridgeSnapshot idle = snapshot;
    idle.recorders[1].state = RecorderState{};
    EXPECT_TRUE(healthy(idle, why));
}

TEST(HttpServer, RoutesByPathAndRefusesUnknownPathsMethodsAndLargeBodies) {
    HttpServer server;
    server.route("/healthz", [](const HttpRequest&) { return HttpReply{503, "text/plain", "down\n"}; });
    server.route("/echo", [](const HttpRequest& r) { return HttpReply{200, "text/plain", r.method + " " + r.body}; },
                 {"POST"});
    std::string error;
    ASSERT_TRUE(server.start(*parseListenAddress("127.0.0.1:0"), error)) << error;
    EXPECT_EQ(test::httpGet(server.port(), "/healthz"), "down\n");
    EXPECT_EQ(test::httpGet(server.port(), "/nowhere"), "not found\n");
    const auto request = [](const char* method, const char* body) {
        HttpRequest r;
        r.method = method;
        r.path = "/echo";
        r.body = body;
        return r;
    };
    EXPECT_EQ(server.answer(request("GET", "")).status, 405);
    EXPECT_EQ(server.answer(request("POST", "hi")).body, "POST hi");
    EXPECT_EQ(test::httpRequest(server.port(), "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000000\r\n\r\n")
                  .rfind("HTTP/1.1 413", 0),
              0u);
    HttpServer taken;
    EXPECT_FALSE(taken.start(ListenAddress{"127.0.0.1", server.port(), false}, error));
    EXPECT_EQ(error.rfind("cannot listen on 127.0.0.1:" + std::to_string(server.port()) + ": ", 0), 0u) << error;
}

}  // namespace
}  // namespace orvix::bridge
