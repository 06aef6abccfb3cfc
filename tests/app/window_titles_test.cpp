// The titles an X11 window manager shows: exactly the dialogs' own, with no
// application name appended. Runs under an X server only (the CTest entry
// main_dialog_titles_under_xvfb); on other platforms it is skipped.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>

#include "app/c_viewer_app.h"
#include "app/main_dialog_ids.h"
#include "core/library_binding.h"
#include "tests/app/main_dialog_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// The window's _NET_WM_NAME as the X server holds it.
QString netWmName(WId window) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window), "_NET_WM_NAME"});
    if (!xprop.waitForFinished(10000)) return {};
    const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    // _NET_WM_NAME(UTF8_STRING) = "ORVIX V2.9"
    const int open = line.indexOf('"');
    return open >= 0 ? line.mid(open + 1, line.lastIndexOf('"') - open - 1) : line;
}

class WindowTitlesTest : public MainDialogTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
        // As the program names itself.
        C_Viewer_App::describeApplication();
    }
    // The title of the next modal window once shown, which is then closed.
    std::shared_ptr<QString> titleOfNextModal() {
        auto title = std::make_shared<QString>();
        onNextModal([title](QWidget* modal) {
            processUntil([&] { return !netWmName(modal->winId()).isEmpty(); }, 10000);
            *title = netWmName(modal->winId());
            modal->close();
        });
        return title;
    }
};

TEST_F(WindowTitlesTest, MainQuestionAndSetupTitlesAreExact) {
    store({{1, u"Gate"}});
    open();
    dialog->show();
    ASSERT_TRUE(processUntil([&] { return netWmName(dialog->winId()) == "ORVIX V2.9"; }, 10000))
        << netWmName(dialog->winId()).toStdString();

    auto question = titleOfNextModal();
    click(kConnect);
    EXPECT_EQ(*question, "Question");
    EXPECT_FALSE(dialog->isConnected());

    auto setup = titleOfNextModal();
    click(kAddDevice);
    EXPECT_EQ(*setup, "Setup");
}

TEST_F(WindowTitlesTest, TheProgramsWindowIsFoundByItsExactTitle) {
    QProcess orvix;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path()));
    orvix.setProcessEnvironment(environment);
    orvix.start(QString::fromStdString(executableDirectory() + "/orvix"), {});
    ASSERT_TRUE(orvix.waitForStarted());
    bool found = false;
    processUntil([&] {
        QProcess search;
        search.start("xdotool", {"search", "--all", "--pid", QString::number(orvix.processId()), "--name",
                                 "^ORVIX V2\\.9$"});
        found = search.waitForFinished(10000) && search.exitCode() == 0;
        return found;
    }, 30000);
    EXPECT_TRUE(found);
    orvix.kill();
    orvix.waitForFinished();
}

}  // namespace
