// One run of the command-line client: builds the recorder record from the
// options, drives a VideoSession from the calling thread (which handles the
// link's notifications), prints the status lines and the pictures, sends the
// requested commands once video flows, and stops when the goal is reached,
// the recorder refuses or fails, or time runs out.
#pragma once

#include <atomic>
#include <ostream>

#include "cli/cli_options.h"
#include "core/device_record.h"

namespace orvix::cli {

enum ExitCode : int {
    kExitGoalReached = 0,
    kExitOutputFailed = 1,  // the goal was reached but a file could not be written
    kExitUsage = 2,
    kExitLoginRefused = 3,
    kExitTimeout = 4,
    kExitNetworkError = 5,
    kExitInterrupted = 130,
};

// Runs to the end and returns the exit code. Status and picture lines go to
// `out`, the one-line reason of a failure to `err`. `interrupt`, when set by
// another thread or a signal handler, ends the run cleanly.
int runClient(const CliOptions& options, std::ostream& out, std::ostream& err,
              const std::atomic<bool>* interrupt = nullptr);

}  // namespace orvix::cli
