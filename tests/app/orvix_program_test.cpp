// The orvix program as it is started: its options, and --connect against the
// recorder simulator program, which logs what reaches it.
#include <gtest/gtest.h>

#include <QFile>
#include <memory>

#include "core/library_binding.h"
#include "tests/app/main_dialog_support.h"
#include "tests/e2e/e2e_process.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// The programs run through fork and exec (tests/e2e/e2e_process), which
// ThreadSanitizer follows.
class OrvixProgramTest : public MainDialogTest {
protected:
    void TearDown() override {
        orvix.reset();
        simulator.reset();
        MainDialogTest::TearDown();
    }

    std::string logPath() const { return config.path() + "/sim.log"; }
    bool logged(const std::string& line) const {
        return processUntil([&] { return fileHolds(line); }, 30000);
    }
    bool fileHolds(const std::string& line) const {
        QFile file(QString::fromStdString(logPath()));
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(QByteArray::fromStdString(line));
    }
    // Starts the simulator (5 pictures a second, its commands logged to
    // logPath()) on the port it reports.
    void startSimulator(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--log", logPath(), "--fps", "5"});
        simulator = std::make_unique<e2e::Simulator>("orvix-recorder-sim", arguments);
        ASSERT_TRUE(simulator->ready()) << simulator->firstLine();
        port = static_cast<uint16_t>(simulator->port());
    }
    // orvix in the test's configuration directory, its errors with its output.
    void startOrvix(const std::vector<std::string>& arguments) {
        orvix = std::make_unique<e2e::Background>("orvix", arguments, true);
    }
    // Runs orvix to its end; its exit code.
    int runOrvix(const std::vector<std::string>& arguments) {
        const e2e::Finished finished = e2e::runProgram(e2e::binaryPath("orvix"), arguments, 60);
        out = QString::fromStdString(finished.out);
        err = QString::fromStdString(finished.err);
        return finished.exitCode;
    }

    std::unique_ptr<e2e::Simulator> simulator;
    std::unique_ptr<e2e::Background> orvix;
    uint16_t port = 0;
    QString out;
    QString err;
};

TEST_F(OrvixProgramTest, HelpVersionAndWrongOptionsNeedNoWindow) {
    EXPECT_EQ(runOrvix({"--help"}), 0);
    EXPECT_TRUE(out.contains("--connect NAME")) << out.toStdString();
    EXPECT_EQ(runOrvix({"--version"}), 0);
    EXPECT_EQ(out.trimmed(), "orvix " ORVIX_VERSION);
    EXPECT_EQ(runOrvix({"--channel", "40"}), 2);
    EXPECT_TRUE(err.contains("--channel needs a number from 1 to 16")) << err.toStdString();
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(OrvixProgramTest, ConnectingToARecorderThatIsNotInTheListIsAnError) {
    store({{1, u"Gate"}});
    EXPECT_EQ(runOrvix({"--connect", "Gat"}), 2);
    EXPECT_TRUE(err.contains("no recorder named \"Gat\"")) << err.toStdString();
}

TEST_F(OrvixProgramTest, ConnectStartsVideoOfTheChosenChannelWithoutAsking) {
    ASSERT_NO_FATAL_FAILURE(startSimulator({}));
    store({{1, u"Gate", u"127.0.0.1", 1}, {2, u"Simulator", u"127.0.0.1", port}});

    startOrvix({"--connect", "Simulator", "--channel", "3"});
    // Logged in (no "Question" box held it up) and asked for camera 3.
    EXPECT_TRUE(logged("LOGIN account=admin ok=1"));
    EXPECT_TRUE(logged("DATA_SEND_REQ flag=0 channels=2"));  // "I only" is off at a first start
    EXPECT_TRUE(orvix->running());
}

TEST_F(OrvixProgramTest, ConnectWithAViewAsksForTheGridAtTheLogin) {
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--channels", "4"}));
    store({{2, u"Simulator", u"127.0.0.1", port}});

    startOrvix({"--connect", "Simulator", "--view", "4"});
    EXPECT_TRUE(logged("channels=0,1,2,3"));
    EXPECT_TRUE(orvix->running());
}

TEST_F(OrvixProgramTest, AViewLargerThanTheStoredModelOffersWaitsForTheCamerasTheLoginReports) {
    // The stored record does not know its model yet: sixteen pictures are
    // asked for once the recorder says it has sixteen cameras.
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--model-code", "13", "--channels", "16"}));
    store({{2, u"Simulator", u"127.0.0.1", port}});

    startOrvix({"--connect", "Simulator", "--view", "16"});
    EXPECT_TRUE(logged("channels=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"));
    EXPECT_TRUE(orvix->running());
    for (const std::string& line : orvix->lines()) EXPECT_EQ(line.find("not offered"), std::string::npos) << line;
}

}  // namespace
