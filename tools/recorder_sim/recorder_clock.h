// The simulated recorder's clock: its local wall-clock time counted as if
// it were UTC, which is how recorders stamp their pictures and ranges.
#pragma once

#include <cstdint>

namespace orvix::sim {

uint32_t recorderClockNow();

}  // namespace orvix::sim
