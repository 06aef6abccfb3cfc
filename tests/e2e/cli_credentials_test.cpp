// orvix-cli logging in with the password from a file or from ORVIX_PASSWORD,
// none of it on its command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/device_list.h"
#include "core/text_codec.h"
#include "store/device_store.h"
#include "tests/e2e/e2e_process.h"

using namespace orvix::e2e;

namespace {

constexpr char kPassword[] = "file-or-env-7Q";

Finished runAgainst(const Simulator& recorder, std::vector<std::string> extra) {
    std::vector<std::string> arguments{"--host",   "127.0.0.1", "--port",    std::to_string(recorder.port()),
                                       "--user",   "admin",     "--frames",  "3",
                                       "--timeout", "30"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return runProgram(binaryPath("orvix-cli"), arguments);
}

TEST(ClientCredentials, PasswordFromAFileOrTheEnvironment) {
    const std::string log = scratchPath("credentials.log");
    Simulator recorder("orvix-recorder-sim", {"--password", kPassword, "--log", log});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();

    const std::string file = scratchPath("password.txt");
    std::ofstream(file) << kPassword << "\nnot part of it\n";
    const Finished fromFile = runAgainst(recorder, {"--password-file", file});
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;

    ::setenv("ORVIX_PASSWORD", kPassword, 1);
    const Finished fromEnvironment = runAgainst(recorder, {});
    // The command line wins over the environment.
    const Finished overridden = runAgainst(recorder, {"--password", "wrong"});
    ::unsetenv("ORVIX_PASSWORD");
    EXPECT_EQ(fromEnvironment.exitCode, 0) << fromEnvironment.err;
    EXPECT_EQ(overridden.exitCode, 3) << overridden.err;

    const Finished missing = runAgainst(recorder, {"--password-file", scratchPath("no-such-file")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("--password-file"), std::string::npos) << missing.err;

    for (const Finished* run : {&fromFile, &fromEnvironment, &overridden, &missing}) {
        EXPECT_EQ((run->out + run->err).find(kPassword), std::string::npos);
    }
    std::ifstream logged(log);
    const std::string text((std::istreambuf_iterator<char>(logged)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("LOGIN account=admin ok=1"), std::string::npos) << text;
    EXPECT_EQ(text.find(kPassword), std::string::npos);
    std::remove(file.c_str());
}

TEST(ClientCredentials, ADeviceListPasswordBeyondAsciiLogsInWithoutALocale) {
    const std::string password = "p\u00e4ss \u2713";
    const std::string log = scratchPath("device-locale.log");
    Simulator recorder("orvix-recorder-sim", {"--password", password, "--log", log});
    ASSERT_TRUE(recorder.ready()) << recorder.firstLine();
    const std::string config = scratchPath("device-locale-config");
    std::filesystem::create_directories(config + "/orvix");
    {
        orvix::DeviceList list;
        orvix::DeviceRecord* r = orvix::createRecord();
        orvix::resetStoredFields(*r);
        r->id = 1;
        orvix::setText(r->name, u"Kiosk");
        orvix::setText(r->account, u"admin");
        orvix::setText(r->password, orvix::fromUtf8(password));
        r->useStatic = 1;
        orvix::setText(r->address, u"127.0.0.1");
        r->port = static_cast<uint16_t>(recorder.port());
        list.append(r);
        orvix::DeviceStore store(config + "/orvix/devices.db");
        ASSERT_TRUE(store.save(list)) << store.notice();
    }
    // As under cron: no locale in the environment (and no keyring).
    const Finished run = runProgram("/usr/bin/env", {"-u", "LANG", "-u", "LC_ALL", "-u", "LC_CTYPE",
                                                     "XDG_CONFIG_HOME=" + config, binaryPath("orvix-cli"), "--device",
                                                     "Kiosk", "--frames", "3", "--timeout", "30"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::ifstream logged(log);
    const std::string text((std::istreambuf_iterator<char>(logged)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("LOGIN account=admin ok=1"), std::string::npos) << text;
}

TEST(ClientCredentials, APasswordFifoWithoutWriterEndsAtTheTimeoutOrCtrlC) {
    const std::string fifo = scratchPath("password.fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nobody listens on port 1: the run would fail at once, were it to start.
    const Finished run = runProgram(binaryPath("orvix-cli"), {"--host", "127.0.0.1", "--port", "1", "--user", "admin",
                                                             "--password-file", fifo, "--timeout", "1"},
                                    15);
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_NE(run.err.find("--password-file " + fifo + ": no line came before the timeout"), std::string::npos)
        << run.err;
    // Ctrl-C ends the wait too.
    Background waiting("orvix-cli", {"--host", "127.0.0.1", "--port", "1", "--user", "admin", "--password-file", fifo,
                                     "--timeout", "60"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::kill(waiting.pid(), SIGINT), 0);
    EXPECT_EQ(waiting.wait(10), 130);
    std::remove(fifo.c_str());
}

}  // namespace
