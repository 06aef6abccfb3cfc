#include "link/reconnect_policy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace orvix {

int ReconnectPolicy::baseDelayMs(int attempt) const {
    int64_t delay = std::max(firstDelayMs, 0);
    // Doubling stops at the cap; the loop is bounded by it, not by `attempt`.
    for (int n = 1; n < attempt && delay < maxDelayMs; ++n) delay *= 2;
    return static_cast<int>(std::min<int64_t>(delay, std::max(maxDelayMs, 0)));
}

int ReconnectPolicy::delayMs(int attempt, std::mt19937& random) const {
    const int base = baseDelayMs(attempt);
    const double bound = std::clamp(spread, 0.0, 1.0);
    std::uniform_real_distribution<double> factor(1.0 - bound, 1.0 + bound);
    return static_cast<int>(std::lround(base * factor(random)));
}

bool applyTestTiming(ReconnectPolicy& policy, const std::string& text) {
    std::istringstream in(text);
    long values[4] = {0, 0, 0, policy.answerMs};
    char comma = 0;
    if (!(in >> values[0] >> comma) || comma != ',' || !(in >> values[1] >> comma) || comma != ',' ||
        !(in >> values[2])) {
        return false;
    }
    if (in >> comma && (comma != ',' || !(in >> values[3]))) return false;
    for (const long value : values) {
        if (value <= 0 || value > 3600000) return false;
    }
    policy.firstDelayMs = static_cast<int>(values[0]);
    policy.maxDelayMs = static_cast<int>(values[1]);
    policy.stallMs = static_cast<int>(values[2]);
    policy.videoSilenceMs = static_cast<int>(values[2]);
    policy.answerMs = static_cast<int>(values[3]);
    return true;
}

ReconnectPolicy reconnectPolicyFromEnvironment(bool enabled) {
    ReconnectPolicy policy;
    policy.enabled = enabled;
    if (const char* text = std::getenv("ORVIX_TEST_RECONNECT_MS")) applyTestTiming(policy, text);
    return policy;
}

}  // namespace orvix
