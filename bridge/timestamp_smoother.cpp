#include "bridge/timestamp_smoother.h"

#include <algorithm>

namespace orvix::bridge {
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
        second_ = recorderSeconds;
        secondStart_ = 0;
        count_ = 1;
        secondWhole_ = false;  // the stream may begin in the middle of it
        firstArrival_ = lastArrival_ = arrivalNs;
        last_ = 0;
        return 0;
    }
    ++arrivals_;
    lastArrival_ = std::max(lastArrival_, arrivalNs);

    const int64_t ahead = recorderSeconds - second_;
    if (ahead != 0) {
        if (ahead == 1 && secondWhole_) {
            // A whole second went by: its picture count is the rate.
            const double sample = std::clamp(static_cast<double>(count_), kLowestRate, kHighestRate);
            measured_ = measured_ > 0 ? (3 * measured_ + sample) / 4 : sample;
        }
        if (ahead > 0 && ahead <= kLargestGapSeconds) {
            // A second seen only in part (the first one, or the one after a
            // jump) ended with its last picture, not a whole second after
            // the place its pictures were given.
            const int64_t end = secondWhole_ ? secondStart_ + kSecond : last_ + step();
            secondStart_ = end + (ahead - 1) * kSecond;
            secondWhole_ = ahead == 1;
        } else {
            // The clock jumped: the timeline goes on one picture later.
            secondStart_ = last_ + step();
            secondWhole_ = false;
        }
        second_ = recorderSeconds;
        count_ = 0;
    }

    int64_t time = secondStart_ + count_ * step();
    const int64_t secondEnd = secondStart_ + kSecond;
    if (time >= secondEnd) {
        // More pictures than the rate says: squeeze them into what is left.
        time = last_ + (secondEnd - last_) / 2;
    }
    time = std::max(time, last_ + kLeastStep);
    ++count_;
    last_ = time;
    return time;
}

}  // namespace orvix::bridge
