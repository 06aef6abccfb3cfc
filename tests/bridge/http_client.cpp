#include "tests/bridge/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace orvix::bridge::test {

std::string loopbackExchange(int port, const std::string& request, int seconds, bool untilContentLength) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        timeval wait{seconds, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            reply.append(buffer, static_cast<size_t>(n));
            if (!untilContentLength) continue;
            // The answer ends with the body its Content-Length gives.
            const size_t head = reply.find("\r\n\r\n");
            if (head == std::string::npos) continue;
            const size_t length = reply.find("Content-Length: ");
            const size_t body = length != std::string::npos && length < head ? std::atoi(reply.c_str() + length + 16) : 0;
            if (reply.size() >= head + 4 + body) break;
        }
    }
    close(fd);
    return reply;
}

std::string httpRequest(int port, const std::string& request) { return loopbackExchange(port, request, 10, false); }

std::string httpGet(int port, const std::string& path) {
    const std::string reply = httpRequest(port, "GET " + path + " HTTP/1.0\r\n\r\n");
    const size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

int httpStatus(int port, const std::string& path) {
    const std::string reply = httpRequest(port, "GET " + path + " HTTP/1.0\r\n\r\n");
    const size_t space = reply.find(' ');
    return space == std::string::npos ? 0 : std::atoi(reply.c_str() + space + 1);
}

}  // namespace orvix::bridge::test
