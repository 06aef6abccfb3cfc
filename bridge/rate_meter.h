// The rates of a channel's counters, per path: each over the last few
// seconds between two samples, the newer of which is the counters now.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "session/channel_feed.h"

namespace orvix::bridge {

class RateMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kSpan = std::chrono::seconds(2);

    struct Rates {
        double picturesPerSecond = 0;
        double bytesPerSecond = 0;
    };

    // Any thread: takes `counters` of `key` at `now` and gives the rates.
    Rates update(const std::string& key, const FeedCounters& counters, Clock::time_point now) {
        std::lock_guard<std::mutex> lock(mutex_);
        Samples& samples = samples_[key];
        if (!samples.latest) {
            samples.latest = Sample{now, counters};
        } else if (now - samples.latest->at >= kSpan) {
            samples.previous = samples.latest;
            samples.latest = Sample{now, counters};
        }
        Rates rates;
        if (!samples.previous) return rates;
        const double seconds = std::chrono::duration<double>(now - samples.previous->at).count();
        const FeedCounters& before = samples.previous->counters;
        if (seconds <= 0 || counters.pictures < before.pictures || counters.bytes < before.bytes) return rates;
        rates.picturesPerSecond = static_cast<double>(counters.pictures - before.pictures) / seconds;
        rates.bytesPerSecond = static_cast<double>(counters.bytes - before.bytes) / seconds;
        return rates;
    }

private:
    struct Sample {
        Clock::time_point at;
        FeedCounters counters;
    };
    struct Samples {
        std::optional<Sample> previous;
        std::optional<Sample> latest;
    };
    std::mutex mutex_;
    std::map<std::string, Samples> samples_;
};

}  // namespace orvix::bridge
