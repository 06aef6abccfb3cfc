// When and how a connection that was lost is made again, and when a silent
// stream counts as dead. Plain data: the link thread keeps a copy and acts on
// it; the front ends choose it (VideoSession::setReconnect()).
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <string>

namespace orvix {

struct ReconnectPolicy {
    // Off: a lost connection stays lost until the user disconnects.
    bool enabled = false;
    // Delay before attempt n (from 1): firstDelayMs doubled n-1 times, at
    // most maxDelayMs; each delay is moved by up to `spread` of itself
    // either way, so that many clients do not come back at the same moment.
    int firstDelayMs = 1000;
    int maxDelayMs = 30000;
    double spread = 0.2;
    // Attempts after one loss before the link gives up; 0: no limit.
    int maxAttempts = 0;
    // At status 9, no byte for this long ends the connection (a dead peer
    // TCP has not noticed yet).
    int stallMs = 10000;
    // At status 9, no video packet of the shown channel for this long is
    // told on the info line (not a reason to reconnect).
    int videoSilenceMs = 10000;
    // While connecting, the longest wait for each answer once connected:
    // the DDNS server's, the recorder's description, the login's and the
    // data request's. A first connect that misses one fails; a retry is
    // followed by the next.
    int answerMs = 10000;

    // The delay before attempt `attempt` without spread.
    int baseDelayMs(int attempt) const;
    // The delay before attempt `attempt` with the random spread applied.
    int delayMs(int attempt, std::mt19937& random) const;
};

// The policy with the default timings, on or off. The timings can be
// shortened for tests with ORVIX_TEST_RECONNECT_MS="FIRST,MAX,STALL[,ANSWER]"
// (milliseconds; the video silence follows STALL, the answer deadline stays
// 10 s unless given). Not for users: the defaults are what a recorder on a
// real network needs.
ReconnectPolicy reconnectPolicyFromEnvironment(bool enabled);

// Shortens `policy` from a test timing text as above; false (policy
// unchanged) when the text is not three or four positive numbers.
bool applyTestTiming(ReconnectPolicy& policy, const std::string& text);

// The policy shared between the owner's thread (which may change it while
// the link runs, when the user ticks the box) and the link thread.
class ReconnectSetting {
public:
    void set(const ReconnectPolicy& policy) {
        std::lock_guard<std::mutex> lock(mutex_);
        policy_ = policy;
    }
    ReconnectPolicy get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return policy_;
    }

private:
    mutable std::mutex mutex_;
    ReconnectPolicy policy_;
};

}  // namespace orvix
