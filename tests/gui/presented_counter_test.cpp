#include "gui/presented_counter.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>

namespace orvix {
namespace {

TEST(PresentedCounter, CountsEachNewPictureOnceOverAllViews) {
    const uint64_t before = PresentedCounter::total();
    PresentedCounter single;
    PresentedCounter tile;
    single.painted(0);  // nothing handed over yet
    single.painted(1);
    single.painted(1);  // an expose repaints the same picture
    single.painted(2);
    single.painted(4);  // pictures the GUI never got to are not shown
    tile.painted(1);    // another view's serials are its own
    tile.painted(1);
    EXPECT_EQ(PresentedCounter::total() - before, 4u);
}

// The report is read by a benchmark from the program's stderr: on request
// while it runs, and once more at exit. Checked in child processes, as it
// installs a signal handler and an exit hook for good.
TEST(PresentedCounterDeathTest, WithStatsOnTheCountIsWrittenOnSignalAndAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("ORVIX_STATS", "1", 1);
            if (!enablePresentedReport()) std::_Exit(3);
            PresentedCounter view;
            for (uint64_t serial = 1; serial <= 12; ++serial) view.painted(serial);
            ::raise(SIGUSR1);
            view.painted(13);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "displayed 12 pictures\ndisplayed 13 pictures\n");
}

TEST(PresentedCounterDeathTest, WithoutStatsNothingIsInstalled) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* value : {"", "0"}) {
        EXPECT_EXIT(
            {
                ::setenv("ORVIX_STATS", value, 1);
                if (enablePresentedReport()) std::_Exit(3);
                // SIGUSR1 keeps its default action: the process ends by it.
                ::raise(SIGUSR1);
                std::_Exit(0);
            },
            ::testing::KilledBySignal(SIGUSR1), "^$")
            << "ORVIX_STATS=\"" << value << "\"";
    }
}

}  // namespace
}  // namespace orvix
