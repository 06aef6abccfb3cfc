#include "session/picture_budget.h"

namespace orvix {

bool PictureBudget::admit(int channel, int width, int height) {
    if (channel < 0 || channel >= kChannels || width <= 0 || height <= 0) return false;
    const int64_t wanted = int64_t{width} * height;
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t& held = held_[static_cast<size_t>(channel)];
    if (total_ - held + wanted > limit_) return false;
    total_ += wanted - held;
    held = wanted;
    return true;
}

void PictureBudget::release(int channel) {
    if (channel < 0 || channel >= kChannels) return;
    std::lock_guard<std::mutex> lock(mutex_);
    total_ -= held_[static_cast<size_t>(channel)];
    held_[static_cast<size_t>(channel)] = 0;
}

int64_t PictureBudget::inUse() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
}

}  // namespace orvix
