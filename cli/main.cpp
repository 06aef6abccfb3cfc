// orvix-cli: connects to a recorder with the program's own link and decoder,
// without a GUI, and reports what it receives. See usageText().
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
    std::string error;
    const orvix::CredentialSources sources{std::getenv(orvix::kPasswordVariable),
                                                orvix::defaultDatabasePath()};
    if (!orvix::resolveCredentials(parsed.options, sources, error)) {
        std::cerr << "orvix-cli: " << error << "\n";
        return orvix::cli::kExitUsage;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    return orvix::cli::runClient(parsed.options, std::cout, std::cerr, &interrupted);
}
