// The per-channel queues of a shown set: a full queue drops only its own
// channel, up to that channel's next key picture, and counts every drop; a
// channel is with one worker at a time.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "link/channel_queues.h"

using namespace orvix;

namespace {

class CountingDrops : public DropListener {
public:
    void dropped(int channel, uint64_t total) override {
        ++calls[static_cast<size_t>(channel)];
        last[static_cast<size_t>(channel)] = total;
    }
    std::array<int, 16> calls{};
    std::array<uint64_t, 16> last{};
};

void push(ChannelQueues& queues, int channel, bool key, uint8_t tag) {
    const uint8_t bytes[3] = {tag, static_cast<uint8_t>(channel), key ? uint8_t{1} : uint8_t{0}};
    queues.push(channel, key, bytes, sizeof bytes);
}

std::vector<int> drain(ChannelQueues& queues, int channel) {
    std::vector<int> tags;
    QueuedPacket packet;
    while (queues.take(channel, packet)) tags.push_back(packet.bytes[0]);
    return tags;
}

}  // namespace

TEST(ChannelQueues, FullQueueDropsThatChannelUntilItsNextKeyPicture) {
    ChannelQueues queues(3);
    CountingDrops drops;
    queues.setDropListener(&drops);
    push(queues, 0, true, 1);
    push(queues, 0, false, 2);
    push(queues, 0, false, 3);
    push(queues, 0, false, 4);  // full: dropped
    push(queues, 1, true, 50);  // another channel is not touched
    push(queues, 0, true, 5);   // a key picture while still full: dropped too
    EXPECT_EQ(drain(queues, 0), (std::vector<int>{1, 2, 3}));
    push(queues, 0, false, 6);  // room again, but no key picture yet
    push(queues, 0, true, 7);
    push(queues, 0, false, 8);
    EXPECT_EQ(drain(queues, 0), (std::vector<int>{7, 8}));
    EXPECT_EQ(drain(queues, 1), (std::vector<int>{50}));
    EXPECT_EQ(queues.dropped(0), 3u);
    EXPECT_EQ(queues.dropped(1), 0u);
    EXPECT_EQ(drops.calls[0], 3);
    EXPECT_EQ(drops.last[0], 3u);
    EXPECT_EQ(drops.calls[1], 0);
}

TEST(ChannelQueues, AChannelIsReadyOnceAndComesBackWhenMoreArrived) {
    ChannelQueues queues(4);
    push(queues, 3, true, 1);
    push(queues, 3, false, 2);
    push(queues, 7, true, 3);
    EXPECT_EQ(queues.waitChannel(std::chrono::milliseconds(0)), 3);
    EXPECT_EQ(queues.waitChannel(std::chrono::milliseconds(0)), 7);
    EXPECT_EQ(queues.waitChannel(std::chrono::milliseconds(0)), -1);
    // Taken by a worker: more packets do not make it ready a second time...
    push(queues, 3, false, 4);
    EXPECT_EQ(queues.waitChannel(std::chrono::milliseconds(0)), -1);
    QueuedPacket packet;
    ASSERT_TRUE(queues.take(3, packet));
    // ...until the worker hands it back with packets left.
    queues.done(3);
    EXPECT_EQ(queues.waitChannel(std::chrono::milliseconds(0)), 3);
    EXPECT_EQ(drain(queues, 3), (std::vector<int>{2, 4}));
    queues.done(3);
    EXPECT_EQ(drain(queues, 7), (std::vector<int>{3}));
    queues.done(7);
    EXPECT_EQ(queues.waitChannel(std::chrono::milliseconds(0)), -1);
}

TEST(ChannelQueues, LeavingTheSetForgetsPacketsAndStopWakesWorkers) {
    ChannelQueues queues(4);
    push(queues, 0, true, 1);
    push(queues, 2, true, 2);
    queues.keepOnly(0b100);
    EXPECT_EQ(queues.queued(0), 0u);
    EXPECT_EQ(queues.queued(2), 1u);
    // Bad channels are ignored.
    push(queues, 16, true, 3);
    push(queues, -1, true, 3);
    EXPECT_EQ(queues.dropped(16), 0u);

    std::atomic<int> woke{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 2; ++i) {
        workers.emplace_back([&] {
            while (queues.waitChannel(std::chrono::seconds(30)) >= 0) {
            }
            ++woke;
        });
    }
    queues.stop();
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(woke.load(), 2);
    EXPECT_TRUE(queues.stopped());
}
