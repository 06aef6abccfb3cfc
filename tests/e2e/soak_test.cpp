// orvix-cli --reconnect left on recorder simulator programs that fail in
// turn on one port: resets, a kill, a stall, refused connects for 10 s, a
// return, outages over and over, and a recorder that refuses the login. The
// client must come back after each, resume channel and "I only", never retry
// a refused login, and hold the same descriptors, threads and about the same
// memory after 20 reconnects as after 2. The client runs with shortened
// delays (ORVIX_TEST_RECONNECT_MS); the defaults have their own unit test.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_process.h"

using namespace orvix::e2e;

namespace {

using Clock = std::chrono::steady_clock;

// First delay, cap and stall watch of the client under test, in ms.
constexpr char kTestTiming[] = "200,800,1500";
constexpr int kCapMs = 800;
// Resident memory may move by allocator caches; descriptors and threads not.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kMemoryToleranceKb = 96 * 1024;
#else
constexpr long kMemoryToleranceKb = 16 * 1024;
#endif

struct Usage {
    int fds = 0;
    int threads = 0;
    long residentKb = 0;
};

Usage usageOf(pid_t pid) {
    Usage usage;
    const std::string base = "/proc/" + std::to_string(pid);
    if (DIR* dir = opendir((base + "/fd").c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') ++usage.fds;
        }
        closedir(dir);
    }
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) usage.threads = std::atoi(line.c_str() + 8);
        if (line.rfind("VmRSS:", 0) == 0) usage.residentKb = std::atol(line.c_str() + 6);
    }
    return usage;
}

int count(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

bool waitFor(const std::function<bool()>& done, int guardSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(guardSeconds);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("ORVIX_TEST_RECONNECT_MS", kTestTiming, 1); }
    void TearDown() override { ::unsetenv("ORVIX_TEST_RECONNECT_MS"); }

    // A simulator on `port` (0: a free one) with `extra` options, logging
    // to a file of its own.
    void startRecorder(std::vector<std::string> extra, int wanted) {
        logPaths.push_back(scratchPath("soak-recorder-" + std::to_string(logPaths.size()) + ".log"));
        extra.insert(extra.end(), {"--log", logPaths.back()});
        recorder = std::make_unique<Simulator>("orvix-recorder-sim", extra, wanted);
        ASSERT_TRUE(recorder->ready()) << recorder->firstLine();
        port = recorder->port();
    }
    std::unique_ptr<Background> startClient(std::vector<std::string> extra) {
        std::vector<std::string> arguments = {"--host", "127.0.0.1", "--port", std::to_string(port), "--user",
                                              "admin", "--password", "1234", "--reconnect", "--verbose"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return std::make_unique<Background>("orvix-cli", arguments);
    }
    int reconnects() { return count(client->lines(), "reconnect "); }
    int pictures() { return count(client->lines(), "picture "); }
    bool waitReconnects(int n, int guardSeconds = 30) {
        return waitFor([&] { return reconnects() >= n; }, guardSeconds);
    }
    bool waitMorePictures(int guardSeconds = 30) {
        const int before = pictures();
        return waitFor([&] { return pictures() > before; }, guardSeconds);
    }
    // The client's last lines, for failure messages.
    std::string tail() {
        const auto lines = client->lines();
        std::string text;
        for (size_t i = lines.size() > 12 ? lines.size() - 12 : 0; i < lines.size(); ++i) text += lines[i] + "\n";
        return text;
    }
    std::string lastReconnect() {
        const auto lines = client->lines();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (it->rfind("reconnect ", 0) == 0) return *it;
        }
        return {};
    }

    // What every recorder started so far logged.
    std::vector<std::string> logLines() {
        std::vector<std::string> all;
        for (const std::string& path : logPaths) {
            const auto lines = readLines(path);
            all.insert(all.end(), lines.begin(), lines.end());
        }
        return all;
    }

    std::vector<std::string> logPaths;
    std::unique_ptr<Simulator> recorder;
    std::unique_ptr<Background> client;
    int port = 0;
};

}  // namespace

TEST_F(SoakTest, ClientComesBackAfterEveryFaultAndHoldsItsResources) {
    // Each connection is reset after 2 video packets (key pictures only: about 2 s).
    startRecorder({"--fault-reset-after", "2", "--channels", "4"}, 0);
    client = startClient({"--channel", "3", "--iframe-only", "--frames", "1000000", "--timeout", "170"});
    ASSERT_TRUE(waitReconnects(2)) << reconnects();
    const Usage early = usageOf(client->pid());
    EXPECT_EQ(lastReconnect(), "reconnect 2 after reset");

    // The recorder dies; another one that stalls after a while takes its place.
    ASSERT_TRUE(waitMorePictures());
    const int beforeKill = reconnects();
    recorder.reset();
    ASSERT_TRUE(waitReconnects(beforeKill + 1));
    startRecorder({"--fault-stall", "4"}, port);
    ASSERT_TRUE(waitFor([&] { return lastReconnect().find("after stalled") != std::string::npos; }, 30));

    // Gone for 10 s: the attempts are refused, then it returns.
    recorder.reset();
    ASSERT_TRUE(waitFor([&] { return lastReconnect().find("after connect-refused") != std::string::npos; }, 30));
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const int picturesWhileAway = pictures();
    startRecorder({}, port);
    const auto back = Clock::now();
    ASSERT_TRUE(waitFor([&] { return pictures() > picturesWhileAway; }, 30)) << tail();
    // Within the longest delay (with its spread) and 2 s.
    EXPECT_LE(Clock::now() - back, std::chrono::milliseconds(kCapMs * 12 / 10 + 2000));

    // Outages over and over: 10 more reconnects at least, 20 in all.
    recorder.reset();
    startRecorder({"--fault-down-after", "0.8", "--fault-down-for", "0.3"}, port);
    ASSERT_TRUE(waitReconnects(std::max(20, reconnects() + 10), 90)) << reconnects();
    const Usage late = usageOf(client->pid());
    EXPECT_EQ(late.fds, early.fds);
    EXPECT_EQ(late.threads, early.threads);
    EXPECT_LE(late.residentKb, early.residentKb + kMemoryToleranceKb)
        << early.residentKb << " kB after 2, " << late.residentKb << " kB after 20";
    ASSERT_TRUE(waitMorePictures());

    // Every picture came from the chosen channel; every data request asked
    // for key pictures of that channel.
    const auto lines = client->lines();
    for (const std::string& line : lines) {
        if (line.rfind("picture ", 0) != 0) continue;
        ASSERT_NE(line.find(" channel 3 "), std::string::npos) << line;
    }
    int requests = 0;
    for (const std::string& line : logLines()) {
        if (line.find("DATA_SEND_REQ flag=1") == std::string::npos) continue;
        ++requests;
        EXPECT_NE(line.find("channels=2"), std::string::npos) << line;  // 0-based
    }
    EXPECT_GE(requests, 10);
}

TEST_F(SoakTest, ARefusedLoginIsNotRetried) {
    startRecorder({}, 0);
    client = startClient({"--frames", "1000000", "--timeout", "60"});
    ASSERT_TRUE(waitFor([&] { return pictures() > 0; }, 30));
    recorder.reset();
    ASSERT_TRUE(waitReconnects(1));
    // Back, but with another password: the login is refused once, and that
    // ends the run.
    startRecorder({"--password", "other"}, port);
    EXPECT_EQ(client->wait(60), 3);
    const auto lines = client->lines();
    EXPECT_EQ(count(lines, "status 6 Login FAIL"), 1);
    int logins = 0;
    for (const std::string& line : logLines()) logins += line.rfind("LOGIN", 0) == 0 ? 1 : 0;
    EXPECT_EQ(logins, 2);  // the first connection's and the one refused
}

TEST_F(SoakTest, RecordingGoesOnInANewFileAfterEachReconnectUpToTheLimit) {
    startRecorder({"--fault-down-after", "1.5", "--fault-down-for", "0.1"}, 0);
    const std::string record = scratchPath("soak-rec.mp4");
    client = startClient({"--frames", "1000000", "--timeout", "60", "--max-reconnects", "2", "--record", record});
    // The third loss is one too many.
    EXPECT_EQ(client->wait(60), 5);
    EXPECT_EQ(count(client->lines(), "reconnect "), 2);
    for (const std::string& path : {record, scratchPath("soak-rec-2.mp4"), scratchPath("soak-rec-3.mp4")}) {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        EXPECT_GT(file.is_open() ? static_cast<long>(file.tellg()) : 0L, 1000L) << path;
    }
}
