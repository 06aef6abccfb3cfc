// orvix-recorder-sim: a recorder on a loopback (or given) port for trying
// the client and for end-to-end tests. See --help.
#include <csignal>
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "tools/recorder_sim/recorder_simulator.h"

int main(int argc, char** argv) {
    using namespace orvix::sim;
    SimOptions options;
    std::string error;
    switch (parseSimOptions(argc, argv, options, error)) {
        case OptionsResult::Help:
            std::fputs(simUsage().c_str(), stdout);
            return 0;
        case OptionsResult::Invalid:
            std::fprintf(stderr, "orvix-recorder-sim: %s\n(see --help)\n", error.c_str());
            return 2;
        case OptionsResult::Run:
            break;
    }
    av_log_set_level(AV_LOG_QUIET);

    // Signals are taken by sigwait() below, not by any thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    RecorderSimulator simulator(options);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "orvix-recorder-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.readyLine().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    return 0;
}
