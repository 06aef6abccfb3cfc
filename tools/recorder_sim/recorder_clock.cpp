#include "tools/recorder_sim/recorder_clock.h"

#include <ctime>

namespace orvix::sim {

uint32_t recorderClockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<uint32_t>(static_cast<int64_t>(now) + local.tm_gmtoff);
}

}  // namespace orvix::sim
