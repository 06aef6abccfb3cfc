// Programs started by the end-to-end tests: the simulators, run in the
// background until the test ends, and orvix-cli or FFmpeg's tools, run to
// their end with their output collected.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvix::e2e {

// <build>/bin, where the programs are.
std::string binaryPath(const std::string& name);
std::string scratchPath(const std::string& name);

// A simulator started with `--port PORT` (0: a free one); the port is read
// from its first line ("listening on 127.0.0.1:PORT"). Stopped with SIGTERM
// when destroyed.
class Simulator {
public:
    Simulator(const std::string& program, std::vector<std::string> arguments, int port = 0);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    int port() const { return port_; }
    bool ready() const { return port_ > 0; }
    const std::string& firstLine() const { return firstLine_; }
    // Ends it at once with SIGKILL, as a crash would, and waits for it.
    void killNow();

private:
    std::string outPath_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string firstLine_;
};

// A program run in the background with its standard output in a file the
// test reads while it runs (standard error goes to the test's, or with
// `errorsToo` into the same file). Killed when destroyed if still running.
class Background {
public:
    Background(const std::string& program, const std::vector<std::string>& arguments, bool errorsToo = false);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    pid_t pid() const { return pid_; }
    // The complete lines written so far.
    std::vector<std::string> lines() const;
    // Waits up to `guardSeconds` for the end; the exit code, -1 on timeout.
    int wait(int guardSeconds);
    // Whether it has not ended yet.
    bool running();

private:
    std::string outPath_;
    pid_t pid_ = -1;
};

struct Finished {
    int exitCode = -1;  // -1 when it did not end by itself in time
    std::string out;
    std::string err;
    long peakMemoryKb = 0;  // the program's largest resident size
};

// Runs a program to its end (killed after `guardSeconds`, a guard against
// hangs only).
Finished runProgram(const std::string& program, const std::vector<std::string>& arguments, int guardSeconds = 120);

std::vector<std::string> readLines(const std::string& path);
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix);

}  // namespace orvix::e2e
