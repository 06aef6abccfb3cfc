#include "session/timestamp_smoother.h"

#include <algorithm>

namespace orvix {
namespace {

constexpr double kLowestRate = 1.0;
constexpr double kHighestRate = 120.0;
// The least distance between two pictures, so that no two share a time.
constexpr int64_t kLeastStep = 1000000;

}  // namespace

double TimestampSmoother::rate() const {
    if (measured_ > 0) return measured_;
    // Before a whole second: the mean distance of the arrivals so far.
    if (arrivals_ > 0 && lastArrival_ > firstArrival_) {
        const double rate = arrivals_ * static_cast<double>(kSecond) / static_cast<double>(lastArrival_ - firstArrival_);
        return std::clamp(rate, kLowestRate, kHighestRate);
    }
    return kDefaultRate;
}

int64_t TimestampSmoother::step() const { return static_cast<int64_t>(static_cast<double>(kSecond) / rate()); }

int64_t TimestampSmoother::next(int64_t recorderSeconds, int64_t arrivalNs) {
    if (!started_) {
        started_ = true;
        second_ = anchorSecond_ = recorderSeconds;
        anchorTime_ = 0;
        count_ = 1;
        secondWhole_ = false;  // the stream may begin in the middle of it
        firstArrival_ = lastArrival_ = arrivalNs;
        last_ = 0;
        return 0;
    }
    if (resumed_) {
        resumed_ = false;
        const int64_t time = last_ + std::max(step(), arrivalNs - lastArrival_);
        second_ = anchorSecond_ = recorderSeconds;
        anchorTime_ = time;
        count_ = 1;
        secondWhole_ = false;
        // The early estimate starts again: the outage is no picture distance.
        firstArrival_ = lastArrival_ = std::max(lastArrival_, arrivalNs);
        arrivals_ = 0;
        last_ = time;
        return time;
    }
    ++arrivals_;
    lastArrival_ = std::max(lastArrival_, arrivalNs);

    const int64_t ahead = recorderSeconds - second_;
    if (ahead == 1 && secondWhole_) {
        // A whole second went by: the rate is the median count of the last
        // ones, which one uneven or crowded second does not move.
        counts_[static_cast<size_t>(countsKept_ % kRateSeconds)] = count_;
        ++countsKept_;
        const int kept = std::min(countsKept_, kRateSeconds);
        std::array<int, kRateSeconds> sorted{};
        for (int i = 0; i < kept; ++i) {
            // Insertion into the sorted front part (a handful of values).
            int j = i;
            for (; j > 0 && sorted[static_cast<size_t>(j - 1)] > counts_[static_cast<size_t>(i)]; --j) {
                sorted[static_cast<size_t>(j)] = sorted[static_cast<size_t>(j - 1)];
            }
            sorted[static_cast<size_t>(j)] = counts_[static_cast<size_t>(i)];
        }
        measured_ = std::clamp(static_cast<double>(sorted[static_cast<size_t>(kept / 2)]), kLowestRate, kHighestRate);
    }
    int64_t time = last_ + step();
    if (ahead != 0) {
        if (ahead > 0 && ahead <= kLargestGapSeconds) {
            // Seconds without pictures stay gaps.
            time += (ahead - 1) * kSecond;
            // After a second seen only in part, the first picture of the
            // next one shows where the recorder's seconds begin.
            if (!secondWhole_ && ahead == 1) {
                anchorSecond_ = recorderSeconds;
                anchorTime_ = time;
            }
            secondWhole_ = ahead == 1;
        } else {
            // The clock jumped: the timeline goes on one picture later.
            anchorSecond_ = recorderSeconds;
            anchorTime_ = time;
            secondWhole_ = false;
        }
        second_ = recorderSeconds;
        count_ = 0;
    }
    // Within a second of where the recorder's time puts the picture, so
    // that a wrong rate or missing pictures never drift the timeline away.
    const int64_t own = anchorTime_ + (recorderSeconds - anchorSecond_) * kSecond;
    time = std::clamp(time, own - kSecond, own + 2 * kSecond);
    time = std::max(time, last_ + kLeastStep);
    ++count_;
    last_ = time;
    return time;
}

}  // namespace orvix
