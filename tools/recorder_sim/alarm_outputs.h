// The simulated recorder's alarm outputs 1-128: switched on one at a time
// or all together, for a number of seconds or without limit; "off" switches
// every output off.
#pragma once

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>

#include "tools/recorder_sim/picture_painter.h"

namespace orvix::sim {

class AlarmOutputs {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kOutputs = 128;

    // output 0: all outputs; 1-128: that one (others: nothing). duration 0:
    // until switched off. False when the output does not exist.
    bool switchOn(int output, uint32_t durationSeconds, Clock::time_point now);
    void switchOff();
    // Switches off the outputs whose time is up.
    void expire(Clock::time_point now);

    bool isOn(int output) const;
    std::bitset<kShownAlarmOutputs> shown() const;

private:
    struct Output {
        bool on = false;
        bool limited = false;
        Clock::time_point until;
    };
    std::array<Output, kOutputs> outputs_{};
};

}  // namespace orvix::sim
