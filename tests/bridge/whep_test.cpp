// What the bridge reads from a browser's WebRTC offer, and the HTTP
// server's prefix routes and digest login that WHEP and the page use.
#include <gtest/gtest.h>

#include "bridge/http_server.h"
#include "bridge/web_files.h"
#include "bridge/whep_offer.h"
#include "tests/bridge/http_client.h"

namespace orvix::bridge {
namespace {

std::string offer(const std::string& video) {
    return "v=0\r\no=- 1 2 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 111\r\n"
           "a=rtpmap:111 opus/48000/2\r\n" + video;
}

TEST(WhepOffer, ChoosesConstrainedBaselineInModeOneElseAnyModeOneElseNone) {
    struct Case {
        const char* name;
        std::string sdp;
        int pt;  // 0: none
        const char* profile;
    };
    const Case cases[] = {
        {"chromium-like", offer("m=video 9 UDP/TLS/RTP/SAVPF 96 102 104 106\r\na=rtpmap:96 VP8/90000\r\n"
                                "a=rtpmap:102 H264/90000\r\na=fmtp:102 level-asymmetry-allowed=1;packetization-mode=1;profile-level-id=64001f\r\n"
                                "a=rtpmap:104 H264/90000\r\na=fmtp:104 packetization-mode=0;profile-level-id=42e01f\r\n"
                                "a=rtpmap:106 h264/90000\r\na=fmtp:106 profile-level-id=42E01F; packetization-mode=1\r\n"),
         106, "42e01f"},
        {"only high profile", offer("m=video 9 RTP/SAVPF 97\r\na=rtpmap:97 H264/90000\r\na=fmtp:97 packetization-mode=1;profile-level-id=640c1f\r\n"), 97, "640c1f"},
        {"mode 0 only", offer("m=video 9 RTP/SAVPF 97\r\na=rtpmap:97 H264/90000\r\na=fmtp:97 profile-level-id=42e01f\r\n"), 0, ""},
        {"no video", offer(""), 0, ""},
        {"H.264 in a later video section", offer("m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 VP8/90000\r\nm=video 9 RTP/SAVPF 97\r\n"
                                                 "a=rtpmap:97 H264/90000\r\na=fmtp:97 packetization-mode=1\r\n"), 0, ""},
        {"not SDP", "\x01\x02garbage", 0, ""},
    };
    for (const Case& c : cases) {
        const std::optional<H264Choice> choice = chooseH264(c.sdp);
        EXPECT_EQ(choice ? choice->payloadType : 0, c.pt) << c.name;
        if (choice) {
            EXPECT_EQ(choice->profileLevelId, c.profile) << c.name;
        }
    }
}

TEST(WhepOffer, ConstrainedBaselineIsProfile42WithConstraintSet1) {
    EXPECT_TRUE(constrainedBaseline("42e01f"));
    EXPECT_TRUE(constrainedBaseline("42c01e"));
    EXPECT_FALSE(constrainedBaseline("42001f"));
    EXPECT_FALSE(constrainedBaseline("4d401f"));
    EXPECT_FALSE(constrainedBaseline("42e0"));
    EXPECT_FALSE(constrainedBaseline("zzzzzz"));
}

TEST(HttpServer, PrefixRoutesAndLoginOnlyWhereAskedAndWhileThereAreUsers) {
    HttpServer server;
    server.route("/paths", [](const HttpRequest&) { return HttpReply{200, "text/plain", "paths"}; });
    server.routePrefix("/view/", [](const HttpRequest& r) { return HttpReply{200, "text/plain", "view " + r.path}; });
    server.routePrefix("/view/deep/", [](const HttpRequest&) { return HttpReply{200, "text/plain", "deep"}; });
    server.requireLogin({"/view/"}, "test");
    std::string error;
    ASSERT_TRUE(server.start(ListenAddress{"127.0.0.1", 0, false}, error)) << error;
    EXPECT_EQ(test::httpGet(server.port(), "/view/a.js"), "view /view/a.js");
    EXPECT_EQ(test::httpGet(server.port(), "/view/deep/x"), "deep");
    EXPECT_EQ(test::httpStatus(server.port(), "/viewer"), 404);
    server.setUsers({{"viewer", "secret"}});
    EXPECT_EQ(test::httpStatus(server.port(), "/view/a.js"), 401);
    EXPECT_EQ(test::httpGet(server.port(), "/paths"), "paths");
}

TEST(WebFiles, ServesPlainNamesOfKnownTypesOnly) {
    const std::string dir = ORVIX_SOURCE_DIR "/bridge/web";
    EXPECT_EQ(webFile(dir, "index.html").status, 200);
    EXPECT_EQ(webFile(dir, "view.js").contentType, "text/javascript; charset=utf-8");
    for (const char* name : {"../CMakeLists.txt", ".hidden", "", "missing.html", "CMakeLists.txt", "a/b.js"}) {
        EXPECT_EQ(webFile(dir, name).status, 404) << name;
    }
}

}  // namespace
}  // namespace orvix::bridge
