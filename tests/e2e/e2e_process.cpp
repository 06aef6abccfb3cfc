#include "tests/e2e/e2e_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace orvix::e2e {
namespace {

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments, int outFd, int errFd) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string binaryPath(const std::string& name) { return std::string(ORVIX_BIN_DIR) + "/" + name; }

std::string scratchPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("orvix_e2e_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

Simulator::Simulator(const std::string& program, std::vector<std::string> arguments, int port) {
    arguments.insert(arguments.begin(), {"--port", std::to_string(port)});
    static int serial = 0;
    outPath_ = scratchPath(program + std::to_string(++serial) + ".out");
    const int outFd = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (outFd < 0) return;
    pid_ = spawn(binaryPath(program), arguments, outFd, STDERR_FILENO);
    close(outFd);
    // The first line says where it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = readFile(outPath_);
        const size_t newline = text.find('\n');
        if (newline != std::string::npos) {
            firstLine_ = text.substr(0, newline);
            break;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const size_t colon = firstLine_.rfind(':');
    if (firstLine_.rfind("listening on ", 0) == 0 && colon != std::string::npos) {
        port_ = std::stoi(firstLine_.substr(colon + 1));
    }
}

Background::Background(const std::string& program, const std::vector<std::string>& arguments, bool errorsToo) {
    static int serial = 0;
    outPath_ = scratchPath(program + "-bg" + std::to_string(++serial) + ".out");
    const int outFd = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (outFd < 0) return;
    pid_ = spawn(binaryPath(program), arguments, outFd, errorsToo ? outFd : STDERR_FILENO);
    close(outFd);
}

Background::~Background() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::vector<std::string> Background::lines() const {
    const std::string text = readFile(outPath_);
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t newline = text.find('\n'); newline != std::string::npos; newline = text.find('\n', from)) {
        out.push_back(text.substr(from, newline - from));
        from = newline + 1;
    }
    return out;
}

int Background::wait(int guardSeconds) {
    if (pid_ <= 0) return -1;
    int status = 0;
    for (int i = 0; i < guardSeconds * 20; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

bool Background::running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, nullptr, WNOHANG) != pid_) return true;
    pid_ = -1;
    return false;
}

void Simulator::killNow() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

Simulator::~Simulator() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    std::remove(outPath_.c_str());
}

Finished runProgram(const std::string& program, const std::vector<std::string>& arguments, int guardSeconds) {
    static int serial = 0;
    const std::string base = scratchPath("run" + std::to_string(++serial));
    const std::string outPath = base + ".out", errPath = base + ".err";
    Finished finished;
    const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t pid = spawn(program, arguments, outFd, errFd);
    close(outFd);
    close(errFd);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
    bool ended = false;
    rusage usage{};
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        if (wait4(pid, &status, WNOHANG, &usage) == pid) {
            ended = true;
            finished.peakMemoryKb = usage.ru_maxrss;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    } else if (WIFEXITED(status)) {
        finished.exitCode = WEXITSTATUS(status);
    }
    finished.out = readFile(outPath);
    finished.err = readFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return finished;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

}  // namespace orvix::e2e
