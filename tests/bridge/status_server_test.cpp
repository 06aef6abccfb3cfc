// The status page over loopback HTTP, and which mount a request path is for.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

#include "bridge/rtsp_server.h"
#include "bridge/status_server.h"

namespace orvix::bridge {
namespace {

// Sends `request` to 127.0.0.1:`port` and reads until the server closes.
std::string exchange(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return reply;
}

TEST(StatusServer, AnswersEachRequestWithThePageOfThatMoment) {
    std::atomic<int> calls{0};
    StatusServer server([&] { return "recorder demo streaming\ncall " + std::to_string(++calls) + "\n"; });
    std::string error;
    ASSERT_TRUE(server.start(0, error)) << error;
    ASSERT_GT(server.port(), 0);

    const std::string first = exchange(server.port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(first.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << first;
    EXPECT_NE(first.find("Content-Type: text/plain"), std::string::npos);
    EXPECT_NE(first.find("\r\n\r\nrecorder demo streaming\ncall 1\n"), std::string::npos) << first;
    EXPECT_NE(exchange(server.port(), "GET /status HTTP/1.0\n\n").find("call 2"), std::string::npos);

    const std::string head = exchange(server.port(), "HEAD / HTTP/1.0\r\n\r\n");
    EXPECT_NE(head.find("Content-Length: 31\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("recorder demo"), std::string::npos);
    EXPECT_EQ(exchange(server.port(), "POST / HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 405", 0), 0u);
    EXPECT_EQ(exchange(server.port(), "hello\r\n\r\n").rfind("HTTP/1.0 400", 0), 0u);
    // A client that says nothing is given up on; the next is served.
    EXPECT_EQ(exchange(server.port(), "").rfind("HTTP/1.0 400", 0), 0u);
    EXPECT_NE(exchange(server.port(), "GET / HTTP/1.0\r\n\r\n").find("recorder demo"), std::string::npos);
    server.stop();
}

TEST(RtspServerPaths, RequestsBelongToTheirChannelsMount) {
    const std::set<std::string> mounts = {"/demo/1", "/demo/2", "/demo/10", "/lobby/1"};
    EXPECT_EQ(RtspServer::mountOf("/demo/2", mounts), "/demo/2");
    EXPECT_EQ(RtspServer::mountOf("/demo/2/", mounts), "/demo/2");
    EXPECT_EQ(RtspServer::mountOf("/demo/2/stream=0", mounts), "/demo/2");
    EXPECT_EQ(RtspServer::mountOf("/demo/10/stream=0", mounts), "/demo/10");
    EXPECT_EQ(RtspServer::mountOf("/demo/1", mounts), "/demo/1");
    EXPECT_EQ(RtspServer::mountOf("/demo/22", mounts), "");
    EXPECT_EQ(RtspServer::mountOf("/demo", mounts), "");
    EXPECT_EQ(RtspServer::mountOf("", mounts), "");
}

}  // namespace
}  // namespace orvix::bridge
