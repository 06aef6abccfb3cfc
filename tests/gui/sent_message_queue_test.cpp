// Synchronous sends from other threads: run on the receiver's thread, the
// sender waits for the result, report senders can be let go while the
// receiver stops the link, and closing releases waiting senders.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gui/sent_message_queue.h"
#include "tests/link/test_window.h"

using namespace orvix;
using orvix::test::waitUntil;

TEST(SentMessageQueue, SenderWaitsUntilTheReceiverRanItsMessage) {
    std::atomic<int> wakes{0};
    SentMessageQueue queue([&] { ++wakes; });
    const std::thread::id receiver = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    intptr_t result = 0;

    std::thread sender([&] {
        result = queue.send([&] {
            ranOn = std::this_thread::get_id();
            return intptr_t{7};
        });
        returned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1 && wakes.load() == 1; }));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(queue.drain(), 1);
    sender.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result, 7);
    EXPECT_EQ(ranOn, receiver);
    EXPECT_EQ(queue.drain(), 0);
}

TEST(SentMessageQueue, DrainingReportsRunsThemInOrderAndLeavesMessagesQueued) {
    SentMessageQueue queue(nullptr);
    std::vector<int> handled;
    std::atomic<bool> reported{false};
    std::thread message([&] { queue.send([&] { handled.push_back(1); return intptr_t{1}; }); });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1; }));
    // A report's sender waits as a message's does.
    std::thread link([&] {
        queue.sendReport([&] { handled.push_back(2); });
        reported = true;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 2; }));
    queue.postReport([&] { handled.push_back(3); });
    EXPECT_FALSE(reported.load());

    EXPECT_EQ(queue.drainReports(), 2);
    link.join();
    EXPECT_EQ(handled, (std::vector<int>{2, 3}));
    EXPECT_EQ(queue.pending(), 1u);
    EXPECT_EQ(queue.drain(), 1);
    message.join();
    EXPECT_EQ(handled, (std::vector<int>{2, 3, 1}));
}

TEST(SentMessageQueue, ClosingReleasesWaitingAndLaterSendersWithoutRunningThem) {
    SentMessageQueue queue(nullptr);
    std::atomic<int> ran{0};
    intptr_t result = -1;
    std::thread sender([&] {
        result = queue.send([&] {
            ++ran;
            return intptr_t{5};
        });
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1; }));
    queue.close();
    sender.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(queue.send([&] {
        ++ran;
        return intptr_t{5};
    }), 0);
    EXPECT_EQ(queue.drain(), 0);
    EXPECT_EQ(ran.load(), 0);
}

TEST(SentMessageQueue, LettingReportSendersGoReleasesTheWaitingTheRunningAndLaterOnes) {
    SentMessageQueue queue(nullptr);
    std::vector<int> handled;
    std::atomic<bool> firstReturned{false};
    bool firstReturnedWhileRunning = false;
    std::thread link([&] {
        queue.sendReport([&] {
            // The window stops the link from inside this report.
            queue.holdReportSenders(false);
            firstReturnedWhileRunning = waitUntil([&] { return firstReturned.load(); });
            handled.push_back(1);
        });
        firstReturned = true;
        // Not held: returns before it has run.
        queue.sendReport([&] { handled.push_back(2); });
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1; }));
    EXPECT_EQ(queue.drain(), 1);
    link.join();
    EXPECT_TRUE(firstReturnedWhileRunning);
    // A message's sender still waits for it.
    std::atomic<bool> messageReturned{false};
    std::thread other([&] {
        queue.send([&] { handled.push_back(3); return intptr_t{1}; });
        messageReturned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 2; }));
    EXPECT_FALSE(messageReturned.load());

    queue.holdReportSenders(true);
    EXPECT_EQ(queue.drain(), 2);
    other.join();
    EXPECT_EQ(handled, (std::vector<int>{1, 2, 3}));
}
