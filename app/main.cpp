// orvix: the remote-monitoring client. All of it is one modal dialog.
#include <QApplication>
#include <clocale>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/c_viewer_app.h"
#include "app/command_line.h"
#include "gui/presented_counter.h"

namespace {

std::vector<std::string> argumentsOf(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

// 0 after --help or --version, 2 for a wrong option; nullopt to go on.
std::optional<int> answerWithoutWindow(const orvix::StartOptions& options) {
    using Action = orvix::StartOptions::Action;
    switch (options.action) {
    case Action::Help:
        std::cout << orvix::usageText();
        return 0;
    case Action::Version:
        std::cout << orvix::versionText() << "\n";
        return 0;
    case Action::Invalid:
        std::cerr << "orvix: " << options.error << "\nTry 'orvix --help'.\n";
        return 2;
    case Action::Run:
        break;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // Recorder texts travel in the locale's narrow character set.
    std::setlocale(LC_ALL, "");
    // --help and --version need no display; other options are read once Qt
    // has taken its own (-platform, -display ...) out of the command line.
    const orvix::StartOptions early = orvix::parseStartOptions(argumentsOf(argc, argv));
    if (early.action == orvix::StartOptions::Action::Help || early.action == orvix::StartOptions::Action::Version) {
        return *answerWithoutWindow(early);
    }
    // ORVIX_STATS=1: how many pictures were shown, for the benchmarks.
    orvix::enablePresentedReport();
    QApplication application(argc, argv);
    const orvix::StartOptions options = orvix::parseStartOptions(argumentsOf(argc, argv));
    if (const auto code = answerWithoutWindow(options)) return *code;
    orvix::C_Viewer_App::describeApplication();
    orvix::C_Viewer_App viewer;
    return viewer.run(options);
}
