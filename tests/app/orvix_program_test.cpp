// The orvix program as it is started: its options, and --connect against the
// recorder simulator program, which logs what reaches it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "core/library_binding.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

class OrvixProgramTest : public MainDialogTest {
protected:
    void TearDown() override {
        for (QProcess* process : {&orvix, &simulator}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished();
            }
        }
        MainDialogTest::TearDown();
    }

    QString logPath() const { return QDir(QString::fromStdString(config.path())).filePath("sim.log"); }
    // Starts the simulator (5 pictures a second, its commands logged to
    // logPath()) on the port it reports.
    void startSimulator(const QStringList& arguments) {
        simulator.setProgram(QString::fromStdString(executableDirectory() + "/orvix-recorder-sim"));
        simulator.setArguments(QStringList{"--port", "0", "--log", logPath(), "--fps", "5"} + arguments);
        simulator.start();
        ASSERT_TRUE(simulator.waitForStarted());
        ASSERT_TRUE(processUntil([&] { return simulator.canReadLine(); }, 30000));
        port = QString::fromUtf8(simulator.readLine()).trimmed().section(':', -1).toUShort();
        ASSERT_NE(port, 0);
    }
    void startOrvix(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        orvix.setProcessEnvironment(environment);
        orvix.setProgram(QString::fromStdString(executableDirectory() + "/orvix"));
        orvix.setArguments(arguments);
        orvix.start();
        ASSERT_TRUE(orvix.waitForStarted()) << orvix.errorString().toStdString();
    }
    // Runs orvix to its end; its exit code.
    int runOrvix(const QStringList& arguments) {
        startOrvix(arguments);
        EXPECT_TRUE(orvix.waitForFinished(60000));
        out = QString::fromUtf8(orvix.readAllStandardOutput());
        err = QString::fromUtf8(orvix.readAllStandardError());
        return orvix.exitStatus() == QProcess::NormalExit ? orvix.exitCode() : -1;
    }

    QProcess orvix;
    QProcess simulator;
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
    const QString log = logPath();
    ASSERT_NO_FATAL_FAILURE(startSimulator({}));
    store({{1, u"Gate", u"127.0.0.1", 1}, {2, u"Simulator", u"127.0.0.1", port}});

    startOrvix({"--connect", "Simulator", "--channel", "3"});
    // Logged in (no "Question" box held it up) and asked for camera 3.
    const auto logged = [&](const QString& line) {
        return processUntil([&] {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).contains(line);
        }, 30000);
    };
    EXPECT_TRUE(logged("LOGIN account=admin ok=1"));
    EXPECT_TRUE(logged("DATA_SEND_REQ flag=1 channels=2"));
    EXPECT_EQ(orvix.state(), QProcess::Running);
}

TEST_F(OrvixProgramTest, ConnectWithAViewAsksForTheGridAtTheLogin) {
    const QString log = logPath();
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--channels", "4"}));
    store({{2, u"Simulator", u"127.0.0.1", port}});

    startOrvix({"--connect", "Simulator", "--view", "4"});
    EXPECT_TRUE(processUntil([&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).contains("channels=0,1,2,3");
    }, 30000));
    EXPECT_EQ(orvix.state(), QProcess::Running);
}

TEST_F(OrvixProgramTest, AViewLargerThanTheStoredModelOffersWaitsForTheCamerasTheLoginReports) {
    // The stored record does not know its model yet: sixteen pictures are
    // asked for once the recorder says it has sixteen cameras.
    const QString log = logPath();
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--model-code", "13", "--channels", "16"}));
    store({{2, u"Simulator", u"127.0.0.1", port}});

    startOrvix({"--connect", "Simulator", "--view", "16"});
    EXPECT_TRUE(processUntil([&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) &&
               QString::fromUtf8(file.readAll()).contains("channels=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15");
    }, 30000));
    EXPECT_EQ(orvix.state(), QProcess::Running);
    EXPECT_FALSE(QString::fromUtf8(orvix.readAllStandardError()).contains("not offered"));
}

}  // namespace
