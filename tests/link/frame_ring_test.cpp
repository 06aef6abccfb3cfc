// The frame ring between a producer and a consumer thread: slot order, the
// full ring blocking the producer, both push disciplines, and the wake-up
// without a packet.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "link/frame_ring.h"
#include "tests/link/test_window.h"

using namespace orvix;
using namespace orvix::test;

namespace {

std::vector<uint8_t> numbered(uint32_t n, size_t size) {
    std::vector<uint8_t> p(size, static_cast<uint8_t>(n * 7));
    for (int i = 0; i < 4 && i < static_cast<int>(size); ++i) p[i] = static_cast<uint8_t>(n >> (8 * i));
    return p;
}

std::vector<uint8_t> slotBytes(const RingSlot& slot) {
    return slot.data ? std::vector<uint8_t>(slot.data, slot.data + slot.length) : std::vector<uint8_t>{};
}

class FrameRingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ring.allocate()); }
    bool push(const std::vector<uint8_t>& p, PushDiscipline d = PushDiscipline::WaitWhenFull) {
        return ring.push(p.data(), p.size(), d);
    }
    FrameRing ring;
};

}  // namespace

TEST_F(FrameRingTest, FirstThreePacketsGoToSlotsOneToThreeAndTheFourthWaitsForARelease) {
    for (uint32_t n = 1; n <= 3; ++n) ASSERT_TRUE(push(numbered(n, 100 + n)));
    EXPECT_EQ(ring.writeIndex(), 3);
    for (int slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(ring.slotLength(slot), 100u + slot);
        EXPECT_EQ(ring.slotData(slot)[0], slot);
    }

    std::atomic<bool> fourthDone{false};
    std::thread producer([&] {
        push(numbered(4, 50));
        fourthDone = true;
    });
    // The producer has advanced to slot 0, the slot being read: it must wait.
    ASSERT_TRUE(waitUntil([&] { return ring.writeIndex() == 0; }));
    EXPECT_FALSE(fourthDone.load());
    EXPECT_EQ(ring.pending(), 3);

    ASSERT_TRUE(ring.waitFrame());
    EXPECT_EQ(slotBytes(ring.take()), numbered(1, 101));
    ring.releaseSlot();
    producer.join();
    EXPECT_TRUE(fourthDone.load());
    EXPECT_EQ(ring.slotLength(0), 50u);
    EXPECT_EQ(ring.slotData(0)[0], 4);

    // Nothing was overwritten: the remaining packets come out in order.
    for (uint32_t n = 2; n <= 4; ++n) {
        ASSERT_TRUE(ring.waitFrame());
        EXPECT_EQ(slotBytes(ring.take()), numbered(n, n == 4 ? 50 : 100 + n));
        ring.releaseSlot();
    }
}

TEST_F(FrameRingTest, WakeUpWithoutAPendingPacketYieldsAnEmptySlot) {
    EXPECT_FALSE(ring.waitFrame(std::chrono::milliseconds(5)));  // nothing pushed: time-out
    ring.signalFrameReady();                                      // the stop wake-up
    ASSERT_TRUE(ring.waitFrame());
    const RingSlot slot = ring.take();
    EXPECT_EQ(slot.data, nullptr);
    EXPECT_EQ(ring.readIndex(), 0);

    // Merged signals: three pushes, one wake-up each take, never past the
    // producer.
    for (uint32_t n = 1; n <= 3; ++n) ASSERT_TRUE(push(numbered(n, 8)));
    for (uint32_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(ring.waitFrame());
        EXPECT_EQ(slotBytes(ring.take()), numbered(n, 8));
        ring.releaseSlot();
    }
    EXPECT_EQ(ring.take().data, nullptr);
    EXPECT_EQ(ring.readIndex(), 3);
}

TEST_F(FrameRingTest, PacketLongerThanASlotIsDroppedUntouched) {
    std::vector<uint8_t> big(kSlotSize + 1, 0xAB);
    EXPECT_FALSE(push(big));
    EXPECT_FALSE(ring.push(big.data(), 0, PushDiscipline::WaitWhenFull));
    EXPECT_EQ(ring.writeIndex(), 0);
    EXPECT_EQ(ring.pending(), 0);
    EXPECT_EQ(ring.slotData(1)[kSlotSize - 1], 0);

    big.pop_back();  // exactly one slot
    EXPECT_TRUE(push(big));
    EXPECT_EQ(ring.slotLength(1), kSlotSize);
    EXPECT_EQ(ring.slotData(1)[kSlotSize - 1], 0xAB);
}

TEST_F(FrameRingTest, LockStepWaitsForOneSlotFreeSignalBeforeEveryPacket) {
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        for (uint32_t n = 1; n <= 2; ++n) {
            push(numbered(n, 16), PushDiscipline::LockStep);
            ++pushed;
        }
    });
    // The ring is empty, yet the first packet waits for the signal.
    ASSERT_TRUE(waitUntil([&] { return ring.writeIndex() == 1; }));
    EXPECT_EQ(pushed.load(), 0);
    ring.signalSlotFree();
    ASSERT_TRUE(waitUntil([&] { return pushed.load() == 1 && ring.writeIndex() == 2; }));
    EXPECT_EQ(pushed.load(), 1);  // the second waits for a release

    ASSERT_TRUE(ring.waitFrame());
    EXPECT_EQ(slotBytes(ring.take()), numbered(1, 16));
    ring.releaseSlot();
    producer.join();
    EXPECT_EQ(ring.pending(), 1);
}

TEST_F(FrameRingTest, SlowConsumerGetsEveryPacketInOrderWithBothDisciplines) {
    constexpr uint32_t kCount = 400;
    ring.signalSlotFree();  // as the window does once both threads run
    std::thread producer([&] {
        for (uint32_t n = 0; n < kCount; ++n) {
            const auto discipline = (n / 50) % 2 == 0 ? PushDiscipline::WaitWhenFull : PushDiscipline::LockStep;
            ASSERT_TRUE(push(numbered(n, 4 + (n * 37) % 3000), discipline));
        }
    });
    uint32_t expected = 0;
    while (expected < kCount) {
        if (!ring.waitFrame()) continue;
        const RingSlot slot = ring.take();
        if (slot.data != nullptr) {
            ASSERT_EQ(slotBytes(slot), numbered(expected, 4 + (expected * 37) % 3000));
            ++expected;
            if (expected % 16 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ring.releaseSlot();
    }
    producer.join();
    EXPECT_EQ(ring.pending(), 0);
}
