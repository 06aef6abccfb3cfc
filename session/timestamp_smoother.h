// Presentation times for one channel's pictures from the recorder's packet
// times. Those count whole seconds, so the pictures of one second share a
// time; the smoother lays the pictures out at the frame rate, the median
// number of pictures in the last whole seconds (at the start, before a whole
// second was seen, from their arrival times), and keeps each picture within
// a second of the recorder's own time for it: seconds without pictures stay
// gaps, and a count that varies from second to second does not bunch
// pictures together. The result is a timeline in nanoseconds that starts at
// 0 and always grows, also when the recorder's clock jumps.
#pragma once

#include <array>
#include <cstdint>

namespace orvix {

class TimestampSmoother {
public:
    static constexpr int64_t kSecond = 1000000000;
    // Times further ahead than this are a jump of the recorder's clock, not
    // pictures that went missing.
    static constexpr int64_t kLargestGapSeconds = 10;
    static constexpr double kDefaultRate = 25.0;
    // Whole seconds whose picture counts give the rate.
    static constexpr int kRateSeconds = 5;

    // The time of the next picture, whose recorder time is `recorderSeconds`
    // and which arrived at `arrivalNs` (any monotonic clock).
    int64_t next(int64_t recorderSeconds, int64_t arrivalNs);

    // The frame rate in use (pictures per second).
    double rate() const;
    // Starts a new timeline (a new connection).
    void reset() { *this = TimestampSmoother(); }
    // The same timeline goes on after an outage: the next picture comes
    // after the last one by as long as the pictures were away (its
    // recorder second is a new anchor, as the recorder's clock may have
    // moved meanwhile). The rate measured so far is kept.
    void resume() {
        if (started_) resumed_ = true;
    }

private:
    int64_t step() const;

    bool started_ = false;
    bool resumed_ = false;      // the next picture follows an outage
    int64_t second_ = 0;        // recorder second of the last picture
    int count_ = 0;             // pictures of it so far
    bool secondWhole_ = false;  // that second was seen from its start
    std::array<int, kRateSeconds> counts_{};  // pictures of the last whole seconds
    int countsKept_ = 0;
    double measured_ = 0;       // their median; 0 before the first
    // Where a recorder second begins on the timeline: anchorTime_ for
    // anchorSecond_, one second more for each second after it.
    int64_t anchorSecond_ = 0;
    int64_t anchorTime_ = 0;
    int64_t firstArrival_ = 0;  // arrival of the first picture, for the early estimate
    int arrivals_ = 0;          // pictures since it
    int64_t lastArrival_ = 0;
    int64_t last_ = 0;
};

}  // namespace orvix
