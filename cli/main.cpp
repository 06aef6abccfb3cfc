// orvix-cli: connects to a recorder with the program's own link and decoder,
// without a GUI, and reports what it receives. See usageText().
#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_client.h"
#include "cli/cli_options.h"
#include "frontend/credentials.h"
#include "store/device_store.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onSignal(int) { interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
    // Account, password and DDNS id come in the locale's character set and
    // go to the recorder in it, as the program sends them.
    orvix::useEnvironmentLocale();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    orvix::cli::ParsedCommandLine parsed = orvix::cli::parseCommandLine(arguments);
    if (parsed.outcome == orvix::cli::ParsedCommandLine::Outcome::Help) {
        std::cout << orvix::cli::usageText();
        return 0;
    }
    if (parsed.outcome == orvix::cli::ParsedCommandLine::Outcome::Error) {
        std::cerr << "orvix-cli: " << parsed.error << "\n" << orvix::cli::usageText();
        return orvix::cli::kExitUsage;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    // --timeout counts from here: a password file that is a FIFO may keep
    // the run waiting for its writer, but no longer than the run may last.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(parsed.options.timeoutSeconds);
    parsed.options.deadline = deadline;
    std::string error;
    const orvix::CredentialSources sources{std::getenv(orvix::kPasswordVariable),
                                                orvix::defaultDatabasePath()};
    if (!orvix::resolveCredentials(parsed.options, sources, error, orvix::FileWait{deadline, &interrupted})) {
        std::cerr << "orvix-cli: " << error << "\n";
        if (interrupted.load()) return orvix::cli::kExitInterrupted;
        return std::chrono::steady_clock::now() >= deadline ? orvix::cli::kExitTimeout : orvix::cli::kExitUsage;
    }
    return orvix::cli::runClient(parsed.options, std::cout, std::cerr, &interrupted);
}
