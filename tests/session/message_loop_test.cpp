// The owner's loop the link reports to: a waited report returns to its
// sender only once handled, a wake ends a wait at once, and a past
// connection's posted end can be forgotten before the next one starts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "session/message_loop.h"

namespace orvix::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the reports said, in the order the loop ran them.
struct Kept {
    std::vector<std::string> messages;
    int networkErrors = 0;
    std::vector<std::string> ends;
    std::vector<int> attempts;
};

TEST(MessageLoop, ASenderWaitsUntilItsNotificationIsHandled) {
    Kept kept;
    MessageLoop loop;
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        loop.sendReport([&] { kept.messages.push_back("connected"); });
        returned.store(true);
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned.load());  // nobody ran the loop yet
    loop.runUntil(Clock::now() + 5s, true);
    sender.join();
    EXPECT_TRUE(returned.load());
    ASSERT_EQ(kept.messages.size(), 1u);
    EXPECT_EQ(kept.messages[0], "connected");
}

TEST(MessageLoop, AWakeEndsTheWaitAndForgottenEndsNeverArrive) {
    Kept kept;
    MessageLoop loop;
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        loop.wake();
    });
    const auto started = Clock::now();
    loop.runUntil(started + 30s, false);
    EXPECT_LT(Clock::now() - started, 20s);  // well before the deadline
    waker.join();

    // Posted by a link that has stopped since: forgotten, while what is
    // not a link's end stays.
    loop.postReport([&] { kept.ends.push_back("Connection closed by the recorder"); });
    loop.postReport([&] { kept.attempts.push_back(1); });
    std::thread sender([&] { loop.sendReport([&] { ++kept.networkErrors; }); });
    while (true) {
        loop.forgetPosted();
        loop.runUntil(Clock::now() + 10ms, true);
        if (kept.networkErrors == 1) break;
    }
    sender.join();
    EXPECT_TRUE(kept.ends.empty());
    EXPECT_TRUE(kept.attempts.empty());

    // Posted ends are delivered in order otherwise.
    loop.postReport([&] { kept.attempts.push_back(2); });
    loop.postReport([&] { kept.ends.push_back("stalled"); });
    loop.runFor(50);
    EXPECT_EQ(kept.attempts, std::vector<int>{2});
    EXPECT_EQ(kept.ends, std::vector<std::string>{"stalled"});
}

}  // namespace
}  // namespace orvix::cli
