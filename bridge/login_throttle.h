// Slows down guessing of RTSP passwords, per client address: after a few
// failed logins each further attempt from that address waits, longer each
// time, and after more the address is refused for a while. A login that
// succeeds forgets the failures. What happened is told in at most one log
// line per address and minute; attempted passwords are never kept.
//
// Used from one thread (the RTSP front's).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvix::bridge {

struct ThrottlePolicy {
    int freeFailures = 3;                        // failures that cost nothing
    int refuseAfter = 10;                        // failures that get the address refused
    std::chrono::milliseconds firstDelay{500};   // the wait after the free ones, doubled each time
    std::chrono::milliseconds longestDelay{8000};
    std::chrono::milliseconds refuseFor{std::chrono::minutes(10)};
    std::chrono::milliseconds forgetAfter{std::chrono::minutes(10)};  // failures this old no longer count
    std::chrono::milliseconds reportEvery{std::chrono::minutes(1)};

    // ORVIX_TEST_THROTTLE_MS="FREE,REFUSE,DELAY,REFUSE_FOR" shortens it for tests.
    static ThrottlePolicy fromEnvironment();
};

class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    struct Decision {
        enum class Kind { Pass, Wait, Refuse };
        Kind kind = Kind::Pass;
        Clock::time_point until{};  // Wait: when the attempt may go on
    };

    explicit LoginThrottle(ThrottlePolicy policy = {}) : policy_(policy) {}

    // An attempt from `address`: `login` when it brings credentials (only
    // those wait; a refused address is refused whatever it sends).
    Decision admit(const std::string& address, bool login, Clock::time_point now);
    void failed(const std::string& address, Clock::time_point now);
    void succeeded(const std::string& address);

    // The lines to log now: one per address whose failures were not told in
    // the last minute.
    std::vector<std::string> report(Clock::time_point now);
    uint64_t failuresTotal() const { return total_; }

private:
    struct Record {
        int failures = 0;
        Clock::time_point lastFailure{};
        Clock::time_point refusedUntil{};
        int untold = 0;                    // failures since the last line
        Clock::time_point nextReport{};    // no line before this
    };

    const ThrottlePolicy policy_;
    std::map<std::string, Record> records_;
    uint64_t total_ = 0;
};

}  // namespace orvix::bridge
