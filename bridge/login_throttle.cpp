#include "bridge/login_throttle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace orvix::bridge {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;

std::string durationWords(milliseconds duration) {
    const auto s = duration_cast<seconds>(duration).count();
    if (s >= 120) return std::to_string(s / 60) + " min";
    if (s >= 1) return std::to_string(s) + " s";
    return std::to_string(duration.count()) + " ms";
}

}  // namespace

ThrottlePolicy ThrottlePolicy::fromEnvironment() {
    ThrottlePolicy policy;
    const char* text = std::getenv("ORVIX_TEST_THROTTLE_MS");
    long free = 0, refuse = 0, delay = 0, refuseFor = 0;
    if (text != nullptr && std::sscanf(text, "%ld,%ld,%ld,%ld", &free, &refuse, &delay, &refuseFor) == 4 &&
        free >= 0 && refuse > free && delay > 0 && refuseFor > 0) {
        policy.freeFailures = static_cast<int>(free);
        policy.refuseAfter = static_cast<int>(refuse);
        policy.firstDelay = milliseconds(delay);
        policy.longestDelay = milliseconds(delay * 16);
        policy.refuseFor = milliseconds(refuseFor);
    }
    return policy;
}

LoginThrottle::Decision LoginThrottle::admit(const std::string& address, bool login, Clock::time_point now) {
    Decision decision;
    const auto found = records_.find(address);
    if (found == records_.end()) return decision;
    Record& record = found->second;
    if (now < record.refusedUntil) {
        decision.kind = Decision::Kind::Refuse;
        return decision;
    }
    if (now - record.lastFailure >= policy_.forgetAfter) record.failures = 0;
    if (!login || record.failures < policy_.freeFailures) return decision;
    const int over = std::min(record.failures - policy_.freeFailures, 16);
    const milliseconds delay = std::min<milliseconds>(policy_.firstDelay * (int64_t{1} << over), policy_.longestDelay);
    decision.kind = Decision::Kind::Wait;
    decision.until = now + delay;
    return decision;
}

void LoginThrottle::failed(const std::string& address, Clock::time_point now) {
    Record& record = records_[address];
    if (now - record.lastFailure >= policy_.forgetAfter) record.failures = 0;
    ++record.failures;
    ++record.untold;
    ++total_;
    record.lastFailure = now;
    if (record.failures >= policy_.refuseAfter) {
        record.refusedUntil = now + policy_.refuseFor;
        record.failures = 0;
    }
}

void LoginThrottle::succeeded(const std::string& address) {
    const auto found = records_.find(address);
    if (found != records_.end()) found->second.failures = 0;
}

std::vector<std::string> LoginThrottle::report(Clock::time_point now) {
    std::vector<std::string> lines;
    for (auto it = records_.begin(); it != records_.end();) {
        Record& record = it->second;
        if (record.untold > 0 && now >= record.nextReport) {
            std::string line = "client " + it->first + ": " + std::to_string(record.untold) + " failed RTSP login" +
                               (record.untold == 1 ? "" : "s") + " in the last minute";
            if (now < record.refusedUntil) {
                line += "; refused for " + durationWords(duration_cast<milliseconds>(record.refusedUntil - now));
            } else if (record.failures >= policy_.freeFailures) {
                line += "; each attempt waits";
            }
            lines.push_back(line);
            record.untold = 0;
            record.nextReport = now + policy_.reportEvery;
        }
        // Addresses with nothing left to remember are forgotten.
        const bool quiet = record.untold == 0 && now >= record.refusedUntil && now >= record.nextReport &&
                           now - record.lastFailure >= policy_.forgetAfter;
        it = quiet ? records_.erase(it) : std::next(it);
    }
    return lines;
}

}  // namespace orvix::bridge
