// Programs the bridge's end-to-end tests run in the background (the bridge,
// the recorder simulator, FFmpeg as a publishing receiver), with their
// output in files, and the checks on what FFmpeg decoded.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/bridge/http_client.h"

namespace orvix::bridge::test {

class Background {
public:
    // Starts `program`; with `readyPrefix`, waits until a line of its
    // standard output starts with it (the line is kept; its last ":NUMBER"
    // is the port).
    Background(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& readyPrefix = {});
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::string& readyLine() const { return readyLine_; }
    std::string out() const;
    std::string err() const;
    // Waits for the program's end (a guard against hangs, not a time limit
    // it must meet); its exit code, -1 when it had to be killed.
    int wait(int guardSeconds);
    // SIGTERM, then waits for the end.
    void stop();
    // Sends `signal` (SIGHUP to read a configuration again).
    void signal(int number);

private:
    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
    bool ready_ = false;
    int port_ = 0;
    std::string readyLine_;
    int exitCode_ = -1;
};

// The whole answer of the RTSP server on 127.0.0.1:`port` to `request`,
// read until it falls quiet or closes ("" when nothing came).
std::string rtspExchange(int port, const std::string& request);

// The resident memory of process `pid`, in kilobytes.
long residentKb(pid_t pid);

// A port nobody listens on right now.
int freePort();
// Waits until something listens on 127.0.0.1:`port`.
bool waitListening(int port, int guardSeconds = 20);

// The channel (0-based) whose colour most of the lower half of the last
// picture in `rgbFile` (rgb24 pictures of `width` x `height`) has, or -1;
// `pictures` is set to the number of whole pictures in the file.
int dominantChannel(const std::string& rgbFile, int width, int height, int* pictures = nullptr);

}  // namespace orvix::bridge::test
