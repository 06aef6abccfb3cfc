// The RTSP front between real client sockets and a server played by the
// test: requests pass one at a time and answers come back, oversized
// requests are answered and closed before the server sees them, failed
// logins from an address cost time and then get it refused, and
// connections beyond the limit, silent half requests and clients that take
// nothing are closed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "bridge/rtsp_front.h"
#include "tests/support/loopback_server.h"

namespace orvix::bridge {
namespace {

using namespace std::chrono_literals;

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool send(int fd, const std::string& s) { return test::writeAll(fd, reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

// Reads until `part` has come (or the peer closed, or 5 s passed).
std::string readUntil(int fd, const std::string& part) {
    std::string got;
    while (got.find(part) == std::string::npos) {
        const std::vector<uint8_t> more = test::readUntilQuiet(fd, 100);
        if (more.empty()) {
            const std::vector<uint8_t> one = test::readExactly(fd, 1, 2000);
            if (one.empty()) break;
            got += text(one);
            continue;
        }
        got += text(more);
    }
    return got;
}

// True once the peer of `fd` has closed.
bool closedByPeer(int fd) {
    const std::vector<uint8_t> rest = test::readExactly(fd, 1 << 20, 3000);
    (void)rest;
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

class RtspFrontTest : public ::testing::Test {
protected:
    void start(FrontSettings settings) {
        settings.listen = {*parseListenAddress("127.0.0.1:0")};
        front = std::make_unique<RtspFront>(
            settings,
            [this](const Peer& peer) {
                int pair[2];
                if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return -1;
                std::lock_guard<std::mutex> lock(mutex);
                servers.push_back(pair[1]);
                peers.push_back(peer);
                changed.notify_all();
                return pair[0];
            },
            [this](const std::string& line) {
                std::lock_guard<std::mutex> lock(mutex);
                lines.push_back(line);
            });
        std::string error;
        ASSERT_TRUE(front->start(error)) << error;
    }
    ~RtspFrontTest() override {
        if (front) front->stop();
        for (int fd : servers) close(fd);
    }
    int client(int receiveBuffer = 0) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // Before the connect, so that the window is small from the start.
        if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(front->ports().at(0)));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    // The server side of the `n`-th connection (from 0).
    int server(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 5s, [&] { return servers.size() > n; });
        return servers.size() > n ? servers[n] : -1;
    }
    bool logged(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& line : lines) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }

    std::unique_ptr<RtspFront> front;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> servers;
    std::vector<Peer> peers;
    std::vector<std::string> lines;
};

const std::string kOptions = "OPTIONS * RTSP/1.0\r\nCSeq: 1\r\n\r\n";
const std::string kDescribe = "DESCRIBE rtsp://h/a/1 RTSP/1.0\r\nCSeq: 2\r\nAuthorization: Digest x\r\n\r\n";

TEST_F(RtspFrontTest, RequestsPassOneAtATimeAndAnswersAndStreamsComeBack) {
    start({});
    const int c = client();
    ASSERT_TRUE(send(c, kOptions + kDescribe));
    const int s = server(0);
    ASSERT_GE(s, 0);
    EXPECT_EQ(text(test::readUntilQuiet(s, 300)), kOptions);  // the second waits for the first's answer
    EXPECT_EQ(peers.at(0).ip, "127.0.0.1");
    EXPECT_GT(peers.at(0).port, 0);
    ASSERT_TRUE(send(s, "RTSP/1.0 200 OK\r\nCSeq: 1\r\n\r\n"));
    EXPECT_EQ(readUntil(c, "\r\n\r\n"), "RTSP/1.0 200 OK\r\nCSeq: 1\r\n\r\n");
    EXPECT_EQ(readUntil(s, "x\r\n\r\n"), kDescribe);
    const std::string frame("$\x00\x00\x04RTP!", 8);
    ASSERT_TRUE(send(s, "RTSP/1.0 200 OK\r\nCSeq: 2\r\nContent-Length: 3\r\n\r\nsdp" + frame));
    EXPECT_EQ(readUntil(c, "RTP!"), "RTSP/1.0 200 OK\r\nCSeq: 2\r\nContent-Length: 3\r\n\r\nsdp" + frame);
    ASSERT_TRUE(send(c, std::string("$\x01\x00\x02rr", 6)));  // the client's RTCP
    EXPECT_EQ(readUntil(s, "rr"), std::string("$\x01\x00\x02rr", 6));
    EXPECT_EQ(front->counters().open, 1u);
    close(c);
    EXPECT_TRUE(closedByPeer(s));
}

TEST_F(RtspFrontTest, OversizedRequestsAreAnsweredAndClosedBeforeTheServerSeesThem) {
    FrontSettings settings;
    settings.limits = {256, 1024};
    start(settings);
    struct Case {
        std::string request;
        std::string answer;
    };
    const Case cases[] = {
        {"SET_PARAMETER rtsp://h/a RTSP/1.0\r\nCSeq: 5\r\nContent-Length: 1000000000\r\n\r\n" + std::string(4096, 'x'),
         "RTSP/1.0 413 Request Entity Too Large\r\nCSeq: 5\r\n"},
        {"OPTIONS * RTSP/1.0\r\n" + std::string(300, 'h'), "RTSP/1.0 400 Bad Request\r\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int c = client();
        ASSERT_TRUE(send(c, cases[i].request));
        const std::string answer = readUntil(c, "\r\n\r\n");
        EXPECT_EQ(answer.rfind(cases[i].answer, 0), 0u) << answer;
        EXPECT_TRUE(closedByPeer(c));
        const int s = server(i);
        EXPECT_TRUE(test::readUntilQuiet(s, 100).empty());
        close(c);
    }
    EXPECT_TRUE(logged("refused: a request body over 1024 bytes"));
    EXPECT_EQ(front->counters().refusedRequests, 2u);
}

TEST_F(RtspFrontTest, FailedLoginsFromAnAddressWaitThenGetItRefused) {
    FrontSettings settings;
    settings.throttle.freeFailures = 1;
    settings.throttle.refuseAfter = 3;
    settings.throttle.firstDelay = 50ms;
    settings.throttle.refuseFor = 1h;
    start(settings);
    const int c = client();
    const int s = server(0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(send(c, kDescribe));
        EXPECT_EQ(readUntil(s, "x\r\n\r\n"), kDescribe) << attempt;
        ASSERT_TRUE(send(s, "RTSP/1.0 401 Unauthorized\r\nCSeq: 2\r\n\r\n"));
        EXPECT_NE(readUntil(c, "\r\n\r\n").find("401"), std::string::npos);
    }
    // Refused now, even with the right password, and so are new connections.
    ASSERT_TRUE(send(c, kDescribe));
    EXPECT_EQ(readUntil(c, "\r\n\r\n").rfind("RTSP/1.0 429 Too Many Requests\r\nCSeq: 2\r\n", 0), 0u);
    EXPECT_TRUE(closedByPeer(c));
    EXPECT_TRUE(test::readUntilQuiet(s, 100).empty());
    const int again = client();
    EXPECT_TRUE(closedByPeer(again));
    EXPECT_EQ(front->counters().loginFailures, 3u);
    EXPECT_GE(front->counters().turnedAway, 1u);
    EXPECT_TRUE(logged("client 127.0.0.1: 1 failed RTSP login in the last minute"));
    close(c);
    close(again);
}

TEST_F(RtspFrontTest, ConnectionsOverTheLimitHalfRequestsAndClientsThatTakeNothingAreClosed) {
    FrontSettings settings;
    settings.maxConnections = 2;
    settings.partialRequest = 300ms;
    settings.stalledClient = 300ms;
    settings.clientBufferBytes = 64 * 1024;
    start(settings);
    const int half = client();
    const int stalled = client(1024);
    ASSERT_GE(server(1), 0);
    const int third = client();
    EXPECT_TRUE(closedByPeer(third));
    EXPECT_TRUE(logged("1 client connection turned away: the limit of 2 clients is reached"));

    ASSERT_TRUE(send(half, "OPTIONS * RTSP/1.0\r\n"));
    EXPECT_TRUE(closedByPeer(half));
    EXPECT_TRUE(logged("closed: no whole request in 300 ms"));

    // The server streams; the client reads nothing.
    const std::string chunk(60000, 'd');
    const int s = server(1);
    for (int i = 0; i < 200 && send(s, chunk); ++i) {
    }
    EXPECT_TRUE(closedByPeer(s));
    EXPECT_TRUE(logged("closed: it took nothing for 300 ms"));
    close(half);
    close(stalled);
    close(third);
}

}  // namespace
}  // namespace orvix::bridge
