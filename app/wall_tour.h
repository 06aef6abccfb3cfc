// A tour of the wall: the pages it steps through in turn (saved layouts,
// or the pages of one recorder's cameras), which one shows, and when the
// next one is due. The user's interaction holds the page: it stays a whole
// interval from the last one. Pure: the window gives it the time.
#pragma once

#include <chrono>

namespace orvix {

class WallTour {
public:
    using Clock = std::chrono::steady_clock;

    // Stops any tour before. Fewer than two pages never step.
    void start(int pages, int first, int seconds, Clock::time_point now);
    void stop() { pages_ = 0; }
    bool running() const { return pages_ > 0; }

    int page() const { return page_; }
    // The page after this one: asked for a step ahead.
    int nextPage() const { return pages_ > 0 ? (page_ + 1) % pages_ : 0; }
    int pages() const { return pages_; }
    int seconds() const { return seconds_; }

    // The user did something: the page stays from now on.
    void interacted(Clock::time_point now);
    // When the next page is due; true, having moved to it, once it is.
    bool step(Clock::time_point now);
    Clock::time_point dueAt() const { return dueAt_; }

private:
    int pages_ = 0;
    int page_ = 0;
    int seconds_ = 10;
    Clock::time_point dueAt_{};
};

}  // namespace orvix
