// orvix-cli --reconnect when a retry reaches a recorder that accepts the
// connection and then stops at one step of connecting (no description, no
// login answer, no data-send answer, junk after the login), or a DDNS
// server that announces itself and then answers nothing: the attempt ends
// for want of an answer and the next one brings the video back. The client
// runs with short delays and deadlines (ORVIX_TEST_RECONNECT_MS).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/e2e_process.h"

using namespace orvix::e2e;

namespace {

// First delay, cap, stall watch and answer deadline, in ms.
constexpr char kTestTiming[] = "200,400,5000,700";

struct StuckStep {
    const char* name;
    std::vector<std::string> recorderFault;  // hits the recorder's second connection
    bool viaSilentDdns;                      // instead: the DDNS server's second connection gets no answer
    int stuckStatus;                         // the status the stuck attempt stood at
    const char* logged;                      // what the stuck server logged
};

std::ostream& operator<<(std::ostream& out, const StuckStep& s) { return out << s.name; }

// The numbers of the "status N ..." lines, repeats of one number merged
// (the countdown changes the text, not the number).
std::vector<int> statusSteps(const std::string& out) {
    std::vector<int> steps;
    for (const std::string& line : linesStartingWith(out, "status ")) {
        const int number = std::stoi(line.substr(7));
        if (steps.empty() || steps.back() != number) steps.push_back(number);
    }
    return steps;
}

bool logHas(const std::string& path, const std::string& line) {
    for (const std::string& l : readLines(path)) {
        if (l == line) return true;
    }
    return false;
}

class StuckReconnect : public ::testing::TestWithParam<StuckStep> {
protected:
    void SetUp() override { ::setenv("ORVIX_TEST_RECONNECT_MS", kTestTiming, 1); }
    void TearDown() override { ::unsetenv("ORVIX_TEST_RECONNECT_MS"); }
};

}  // namespace

TEST_P(StuckReconnect, TheStuckAttemptEndsAndTheNextBringsVideoBack) {
    const StuckStep& step = GetParam();
    const std::string recorderLog = scratchPath(std::string("stuck-") + step.name + "-recorder.log");
    const std::string ddnsLog = scratchPath(std::string("stuck-") + step.name + "-ddns.log");
    std::vector<std::string> recorderOptions = {"--fault-reset-after", "5", "--log", recorderLog};
    if (!step.recorderFault.empty()) {
        recorderOptions.insert(recorderOptions.end(), step.recorderFault.begin(), step.recorderFault.end());
        recorderOptions.insert(recorderOptions.end(), {"--fault-on-connection", "2"});
    }
    Simulator recorder("orvix-recorder-sim", recorderOptions);
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    std::vector<std::string> client = {"--user", "admin", "--password", "1234", "--reconnect",
                                       "--frames", "8", "--timeout", "60"};
    std::unique_ptr<Simulator> ddns;
    if (step.viaSilentDdns) {
        ddns = std::make_unique<Simulator>(
            "orvix-ddns-sim", std::vector<std::string>{"--entry", "G9TEST=127.0.0.1:" + std::to_string(recorder.port()),
                                                       "--fault-silent-on", "2", "--log", ddnsLog});
        ASSERT_TRUE(ddns->ready()) << ddns->firstLine();
        client.insert(client.end(), {"--ddns-server", "127.0.0.1", "--ddns-port", std::to_string(ddns->port()),
                                     "--ddns-id", "G9TEST"});
    } else {
        client.insert(client.end(), {"--host", "127.0.0.1", "--port", std::to_string(recorder.port())});
    }

    const Finished run = runProgram(binaryPath("orvix-cli"), client);
    const std::string context = "stdout:\n" + run.out + "stderr:\n" + run.err;
    ASSERT_EQ(run.exitCode, 0) << context;
    EXPECT_NE(run.out.find("reconnect 1 after reset\n"), std::string::npos) << context;
    EXPECT_NE(run.out.find("reconnect 2 after no-answer\n"), std::string::npos) << context;
    // The second attempt stood at its step until the deadline ended it;
    // the third streamed until the run ended (status 0 again).
    const std::vector<int> steps = statusSteps(run.out);
    std::vector<size_t> zeros;
    for (size_t i = 1; i < steps.size(); ++i) {
        if (steps[i] == 0) zeros.push_back(i);
    }
    ASSERT_GE(zeros.size(), 3u) << context;
    EXPECT_EQ(steps[zeros[1] - 1], step.stuckStatus) << context;
    EXPECT_EQ(steps[zeros.back() - 1], 9) << context;
    EXPECT_TRUE(logHas(step.viaSilentDdns ? ddnsLog : recorderLog, step.logged)) << context;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StuckReconnect,
    ::testing::Values(
        StuckStep{"no_description", {"--fault-mute-before", "connect-ok"}, false, 1, "MUTED before CONNECT_OK"},
        StuckStep{"no_login_answer", {"--fault-mute-before", "login"}, false, 4, "MUTED before the login answer"},
        StuckStep{"no_data_send_answer", {"--fault-mute-before", "data-send"}, false, 8,
                  "MUTED before the data-send answer"},
        StuckStep{"junk_after_login", {"--fault-junk-after-login"}, false, 8, "JUNK after login"},
        StuckStep{"silent_ddns_server", {}, true, 12, "SILENT after ready"}),
    [](const auto& test) { return std::string(test.param.name); });
