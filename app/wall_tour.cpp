#include "app/wall_tour.h"

#include <algorithm>

namespace orvix {

void WallTour::start(int pages, int first, int seconds, Clock::time_point now) {
    pages_ = std::max(0, pages);
    page_ = pages_ > 0 ? std::clamp(first, 0, pages_ - 1) : 0;
    seconds_ = seconds;
    dueAt_ = now + std::chrono::seconds(seconds_);
}

void WallTour::interacted(Clock::time_point now) {
    if (running()) dueAt_ = std::max(dueAt_, now + std::chrono::seconds(seconds_));
}

bool WallTour::step(Clock::time_point now) {
    if (pages_ < 2 || now < dueAt_) return false;
    page_ = nextPage();
    dueAt_ = now + std::chrono::seconds(seconds_);
    return true;
}

}  // namespace orvix
