#include "tests/bridge/bridge_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/e2e/e2e_process.h"
#include "tools/recorder_sim/picture_painter.h"

namespace orvix::bridge::test {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

Background::Background(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& readyPrefix) {
    static int serial = 0;
    const std::string base = e2e::scratchPath("background" + std::to_string(++serial));
    outPath_ = base + ".out";
    errPath_ = base + ".err";
    const int outFd = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outFd);
    close(errFd);
    if (readyPrefix.empty()) {
        ready_ = pid_ > 0;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream lines(readFile(outPath_));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(readyPrefix, 0) != 0 || lines.eof()) continue;
            readyLine_ = line;
            const size_t colon = line.rfind(':');
            if (colon != std::string::npos) port_ = std::atoi(line.c_str() + colon + 1);
            ready_ = true;
            return;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

Background::~Background() {
    stop();
    std::remove(outPath_.c_str());
    std::remove(errPath_.c_str());
}

std::string Background::out() const { return readFile(outPath_); }
std::string Background::err() const { return readFile(errPath_); }

int Background::wait(int guardSeconds) {
    if (pid_ <= 0) return exitCode_;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exitCode_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

void Background::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (wait(10) == -1 && pid_ > 0) wait(0);
}

void Background::signal(int number) {
    if (pid_ > 0) kill(pid_, number);
}

std::string rtspExchange(int port, const std::string& request) { return loopbackExchange(port, request, 15, true); }

long residentKb(pid_t pid) {
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool waitListening(int port, int guardSeconds) {
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X ", port);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        // Listening sockets have state 0A in the kernel's table.
        std::istringstream table(readFile("/proc/net/tcp"));
        for (std::string line; std::getline(table, line);) {
            if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int dominantChannel(const std::string& rgbFile, int width, int height, int* pictures) {
    const std::string bytes = readFile(rgbFile);
    const size_t pictureBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const size_t count = pictureBytes > 0 ? bytes.size() / pictureBytes : 0;
    if (pictures != nullptr) *pictures = static_cast<int>(count);
    if (count == 0) return -1;
    const auto* last = reinterpret_cast<const uint8_t*>(bytes.data()) + (count - 1) * pictureBytes;
    std::vector<int> votes(sim::kColourCount, 0);
    for (int y = height / 2; y < height; y += 2) {
        for (int x = 0; x < width; x += 2) {
            const uint8_t* p = last + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
            const int c = sim::nearestChannelColour(sim::Rgb{p[0], p[1], p[2]});
            if (c >= 0) ++votes[static_cast<size_t>(c)];
        }
    }
    const auto top = std::max_element(votes.begin(), votes.end());
    return *top > 0 ? static_cast<int>(top - votes.begin()) : -1;
}

}  // namespace orvix::bridge::test
