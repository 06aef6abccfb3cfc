// The two programs as scripts use them: --help, refusal with exit code 2,
// the ready line with the chosen port, the command log file, and a clean
// end on SIGTERM.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/device_record.h"
#include "link/command_codes.h"
#include "link/command_payloads.h"
#include "link/wire_format.h"
#include "tests/support/loopback_server.h"

namespace orvix::test {
namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
};

Child launch(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

int exitCode(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

int run(const std::vector<std::string>& args, std::string* output = nullptr) {
    Child child = launch(args);
    const std::string text = readAll(child.out);
    ::close(child.out);
    if (output) *output = text;
    return exitCode(child.pid);
}

uint16_t portOf(const std::string& readyLine) {
    const std::string prefix = "listening on 127.0.0.1:";
    if (readyLine.rfind(prefix, 0) != 0) return 0;
    return static_cast<uint16_t>(std::stoi(readyLine.substr(prefix.size())));
}

TEST(SimPrograms, HelpAndRefusal) {
    std::string text;
    EXPECT_EQ(run({ORVIX_RECORDER_SIM, "--help"}, &text), 0);
    EXPECT_NE(text.find("--fault-close-mid-packet"), std::string::npos);
    EXPECT_EQ(run({ORVIX_RECORDER_SIM, "--model-code", "61", "--size", "320x240"}), 2);
    EXPECT_EQ(run({ORVIX_RECORDER_SIM, "--packet-kind", "ndav"}), 2);
    EXPECT_EQ(run({ORVIX_DDNS_SIM, "--help"}, &text), 0);
    EXPECT_NE(text.find("--entry"), std::string::npos);
    EXPECT_NE(text.find("--fault-silent-on"), std::string::npos);
    EXPECT_EQ(run({ORVIX_DDNS_SIM, "--fault-silent-on", "0"}), 2);
    EXPECT_EQ(run({ORVIX_DDNS_SIM, "--entry", "G9TEST"}), 2);
}

TEST(SimPrograms, RecorderAnnouncesItsPortLogsCommandsAndEndsOnSigterm) {
    const std::string logPath = ::testing::TempDir() + "orvix-recorder-sim-" + std::to_string(::getpid()) + ".log";
    Child child = launch({ORVIX_RECORDER_SIM, "--port", "0", "--model-code", "61", "--protocol-version", "24",
                          "--log", logPath});
    const uint16_t port = portOf(readLine(child.out));
    ASSERT_NE(port, 0);

    const int fd = connectLoopback(port);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> hello = readExactly(fd, 552 + 12);
    ASSERT_EQ(hello.size(), 564u);
    EXPECT_EQ(readLe32(hello.data()), 0xC3AD0000u);  // Plain framing
    EXPECT_EQ(readLe32(hello.data() + 4), static_cast<uint32_t>(COMMAND_CONNECT_OK));
    EXPECT_EQ(readLe32(hello.data() + 8), 61u);

    DeviceRecord* record = createRecord();
    record->modelIndex = 26;
    record->protocolVersion = 24;
    setText(record->account, u"admin");
    setText(record->password, u"1234");
    uint8_t login[104];
    const size_t length = buildLoginPayload(*record, login);
    destroyRecord(record);
    std::vector<uint8_t> packet(framedLength(FramingKind::Plain, length));
    packet.resize(frameCommand(FramingKind::Plain, COMMAND_LOGIN_REQ, login, length, packet.data(), packet.size()));
    ASSERT_TRUE(writeAll(fd, packet));
    const std::vector<uint8_t> reply = readExactly(fd, 24 + 12);
    ASSERT_EQ(reply.size(), 36u);
    EXPECT_EQ(readLe32(reply.data() + 4), static_cast<uint32_t>(COMMAND_LOGIN_OK));
    closeFd(fd);

    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(exitCode(child.pid), 0);
    ::close(child.out);
    std::ifstream file(logPath);
    std::stringstream lines;
    lines << file.rdbuf();
    EXPECT_NE(lines.str().find("LOGIN account=admin ok=1\n"), std::string::npos) << lines.str();
    std::remove(logPath.c_str());
}

TEST(SimPrograms, DdnsServerAnnouncesItsPortAndEndsOnSigterm) {
    Child child = launch({ORVIX_DDNS_SIM, "--entry", "G9TEST=127.0.0.1:4000"});
    const uint16_t port = portOf(readLine(child.out));
    ASSERT_NE(port, 0);
    const int fd = connectLoopback(port);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> ready = readExactly(fd, 12);
    ASSERT_EQ(ready.size(), 12u);
    EXPECT_EQ(ready[4], COMMAND_DDNS_READY);
    closeFd(fd);
    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(exitCode(child.pid), 0);
    ::close(child.out);
}

}  // namespace
}  // namespace orvix::test
