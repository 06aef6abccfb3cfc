#include "tools/recorder_sim/alarm_outputs.h"

namespace orvix::sim {

bool AlarmOutputs::switchOn(int output, uint32_t durationSeconds, Clock::time_point now) {
    if (output < 0 || output > kOutputs) return false;
    const int first = output == 0 ? 1 : output;
    const int last = output == 0 ? kOutputs : output;
    for (int n = first; n <= last; ++n) {
        Output& o = outputs_[static_cast<size_t>(n - 1)];
        o.on = true;
        o.limited = durationSeconds != 0;
        o.until = now + std::chrono::seconds(durationSeconds);
    }
    return true;
}

void AlarmOutputs::switchOff() {
    for (Output& o : outputs_) o.on = false;
}

void AlarmOutputs::expire(Clock::time_point now) {
    for (Output& o : outputs_) {
        if (o.on && o.limited && now >= o.until) o.on = false;
    }
}

bool AlarmOutputs::isOn(int output) const {
    return output >= 1 && output <= kOutputs && outputs_[static_cast<size_t>(output - 1)].on;
}

std::bitset<kShownAlarmOutputs> AlarmOutputs::shown() const {
    std::bitset<kShownAlarmOutputs> bits;
    for (int n = 1; n <= kShownAlarmOutputs; ++n) bits.set(static_cast<size_t>(n - 1), isOn(n));
    return bits;
}

}  // namespace orvix::sim
