// The main loop both simulator programs share: start the server, print its
// ready line, run until SIGINT or SIGTERM, stop.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <string>

namespace orvix::sim {

// `Simulator` offers bool start(std::string*), std::string readyLine() and
// void stop(). Returns the program's exit code.
template <typename Simulator>
int serveUntilSignalled(Simulator& simulator, const char* program) {
    // Signals are taken by sigwait() below, not by any thread the server starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.readyLine().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    return 0;
}

}  // namespace orvix::sim
