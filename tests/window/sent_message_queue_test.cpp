// Synchronous sends from other threads: run on the receiver's thread, the
// sender waits for the result, waits on the receiver's side keep handling
// them, and closing releases waiting senders.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/link/test_window.h"
#include "video/sent_message_queue.h"

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

TEST(SentMessageQueue, AWaitOnTheReceiverHandlesMessagesAsTheyCome) {
    SentMessageQueue queue(nullptr);
    std::vector<int> handled;
    std::atomic<bool> done{false};
    // Each send waits for the one before it to be handled, as the link
    // thread's notifications do.
    std::thread sender([&] {
        for (int i = 1; i <= 3; ++i) queue.send([&handled, i] {
            handled.push_back(i);
            return intptr_t{1};
        });
        done = true;
    });
    for (int round = 0; round < 1000 && !done.load(); ++round) queue.waitHandling(20);
    sender.join();
    EXPECT_EQ(handled, (std::vector<int>{1, 2, 3}));
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
