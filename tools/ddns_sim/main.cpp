// orvix-ddns-sim: a DDNS server that tells the client where a recorder is.
// See --help.
#include <cstdio>
#include <string>

#include "tools/sim_common/serve_until_signalled.h"
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
    DdnsSimulator simulator(options);
    return serveUntilSignalled(simulator, "orvix-ddns-sim");
}
