// Synchronous sends from other threads: run on the receiver's thread, the
// sender waits for the result, waits on the receiver's side keep handling
// them, and closing releases waiting senders.
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

TEST(SentMessageQueue, AMessageNotReadyStaysQueuedWhileOthersRunPastItAndItsSenderWaits) {
    SentMessageQueue queue(nullptr);
    bool ready = false;  // receiver's state, read on the receiver's thread
    std::vector<int> handled;
    std::atomic<bool> firstReturned{false};
    std::thread first([&] {
        queue.send([&] { handled.push_back(1); return intptr_t{1}; }, [&] { return ready; }, false);
        firstReturned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1; }));
    std::thread second([&] { queue.send([&] { handled.push_back(2); return intptr_t{2}; }); });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 2; }));

    EXPECT_EQ(queue.drain(), 1);
    second.join();
    queue.waitHandling(50);  // a wait does not spin on it either
    EXPECT_EQ(handled, std::vector<int>({2}));
    EXPECT_FALSE(firstReturned.load());
    EXPECT_EQ(queue.pending(), 1u);

    ready = true;
    EXPECT_EQ(queue.drain(), 1);
    first.join();
    EXPECT_EQ(handled, std::vector<int>({2, 1}));
}

TEST(SentMessageQueue, ReleasingLetsTheSenderOfARunningMessageGoOnBeforeItsHandlerEnds) {
    SentMessageQueue queue(nullptr);
    std::atomic<bool> returned{false};
    intptr_t result = -1;
    bool sawReturnWhileRunning = false;
    std::thread sender([&] {
        result = queue.send([&] {
            queue.releaseRunning();
            sawReturnWhileRunning = waitUntil([&] { return returned.load(); });
            return intptr_t{5};
        }, nullptr, true);
        returned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1; }));
    EXPECT_EQ(queue.drain(), 1);
    sender.join();
    EXPECT_TRUE(sawReturnWhileRunning);
    EXPECT_EQ(result, 0);

    // A message that is not releasable keeps its sender until it has run.
    std::atomic<bool> plainReturned{false};
    bool heldWhileRunning = false;
    std::thread plain([&] {
        queue.send([&] {
            queue.releaseRunning();
            heldWhileRunning = !waitUntil([&] { return plainReturned.load(); }, 200);
            return intptr_t{1};
        });
        plainReturned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.pending() == 1; }));
    EXPECT_EQ(queue.drain(), 1);
    plain.join();
    EXPECT_TRUE(heldWhileRunning);
}
