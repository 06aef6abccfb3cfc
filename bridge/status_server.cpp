#include "bridge/status_server.h"

#include <chrono>

namespace orvix::bridge {
namespace {

constexpr size_t kMaxRequestBytes = 8192;
constexpr int kReadWaitMs = 200;
constexpr int kRequestTimeoutMs = 2000;

std::string response(const std::string& status, const std::string& body, bool withBody) {
    std::string text = "HTTP/1.0 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    if (withBody) text += body;
    return text;
}

}  // namespace

bool StatusServer::start(int port, std::string& error) {
    if (!listener_.open("127.0.0.1", static_cast<uint16_t>(port), 0, &error)) return false;
    stop_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
}

void StatusServer::stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    listener_.close();
}

void StatusServer::run() {
    while (!stop_.load()) {
        const int fd = listener_.accept(kReadWaitMs);
        if (fd < 0) continue;
        serve(fd);
        closeSocket(fd);
    }
}

void StatusServer::serve(int fd) {
    std::string request;
    uint8_t buffer[1024];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    // The request line and headers end with an empty line.
    while (request.find("\r\n\r\n") == std::string::npos && request.find("\n\n") == std::string::npos) {
        if (stop_.load() || std::chrono::steady_clock::now() >= deadline || request.size() >= kMaxRequestBytes) break;
        const long n = readSome(fd, buffer, sizeof buffer, kReadWaitMs);
        if (n < 0) return;
        request.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
    }
    const bool wantsPage = request.rfind("GET ", 0) == 0 || request.rfind("HEAD ", 0) == 0;
    const std::string text = reply(request, wantsPage ? page_() : std::string());
    writeAll(fd, reinterpret_cast<const uint8_t*>(text.data()), text.size(), stop_);
}

std::string StatusServer::reply(const std::string& request, const std::string& page) {
    const size_t lineEnd = request.find_first_of("\r\n");
    const std::string line = request.substr(0, lineEnd);
    const size_t space = line.find(' ');
    if (lineEnd == std::string::npos || space == std::string::npos || line.find(" HTTP/", space) == std::string::npos) {
        return response("400 Bad Request", "not an HTTP request\n", true);
    }
    const std::string method = line.substr(0, space);
    if (method == "GET") return response("200 OK", page, true);
    if (method == "HEAD") return response("200 OK", page, false);
    return response("405 Method Not Allowed", "only GET\n", true);
}

}  // namespace orvix::bridge
