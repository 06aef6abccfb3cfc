// orvix-ddns-sim: a DDNS server that tells the client where a recorder is.
// See --help.
#include <csignal>
#include <cstdio>
#include <string>

#include "tools/ddns_sim/ddns_simulator.h"

int main(int argc, char** argv) {
    using namespace orvix::sim;
    DdnsOptions options;
    std::string error;
    switch (parseDdnsOptions(argc, argv, options, error)) {
        case DdnsOptionsResult::Help:
            std::fputs(ddnsUsage().c_str(), stdout);
            return 0;
        case DdnsOptionsResult::Invalid:
            std::fprintf(stderr, "orvix-ddns-sim: %s\n(see --help)\n", error.c_str());
            return 2;
        case DdnsOptionsResult::Run:
            break;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    DdnsSimulator simulator(options);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "orvix-ddns-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.readyLine().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    return 0;
}
