// orvix-recorder-sim: a recorder on a loopback (or given) port for trying
// the client and for end-to-end tests. See --help.
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "tools/sim_common/serve_until_signalled.h"
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

    RecorderSimulator simulator(options);
    return serveUntilSignalled(simulator, "orvix-recorder-sim");
}
