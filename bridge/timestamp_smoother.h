// Presentation times for one channel's pictures from the recorder's packet
// times. Those count whole seconds, so the pictures of one second share a
// time; the smoother spreads them at the frame rate, measured from the
// number of pictures in each whole second (at the start, before a whole
// second was seen, from their arrival times). The result is a timeline in
// nanoseconds that starts at 0 and always grows, also when the recorder's
// clock jumps.
#pragma once

#include <cstdint>

namespace orvix::bridge {

class TimestampSmoother {
public:
    static constexpr int64_t kSecond = 1000000000;
    // Times further ahead than this are a jump of the recorder's clock, not
    // pictures that went missing.
    static constexpr int64_t kLargestGapSeconds = 10;
    static constexpr double kDefaultRate = 25.0;

    // The time of the next picture, whose recorder time is `recorderSeconds`
    // and which arrived at `arrivalNs` (any monotonic clock).
    int64_t next(int64_t recorderSeconds, int64_t arrivalNs);

    // The frame rate in use (pictures per second).
    double rate() const;
    // Starts a new timeline (a new connection).
    void reset() { *this = TimestampSmoother(); }

private:
    int64_t step() const;

    bool started_ = false;
    int64_t second_ = 0;        // recorder second being spread
    int64_t secondStart_ = 0;   // where it starts on the timeline
    int count_ = 0;             // its pictures so far
    bool secondWhole_ = false;  // the second was seen from its start
    double measured_ = 0;       // rate from whole seconds; 0 before the first
    int64_t firstArrival_ = 0;  // arrival of the first picture, for the early estimate
    int arrivals_ = 0;          // pictures since it
    int64_t lastArrival_ = 0;
    int64_t last_ = 0;
};

}  // namespace orvix::bridge
