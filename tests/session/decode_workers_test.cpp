// The decode workers behind the per-channel queues: a slow channel drops its
// own packets up to its next key picture and holds up nobody else; each
// channel's packets reach their sink in order, one worker at a time; the
// channels' pictures stay within the session's picture budget.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/device_record.h"
#include "session/decode_workers.h"
#include "tests/link/stream_builders.h"
#include "tests/support/pipeline_support.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// Takes packets only; channel 0 is slow.
class SlowSink : public ChannelEvents {
public:
    void picture(int, const ChannelPicture&) override {}
    void packet(int channel, const AccessUnit& unit) override {
        const int busy = ++inside[static_cast<size_t>(channel)];
        if (busy > 1) overlapped = true;
        if (channel == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        {
            std::lock_guard<std::mutex> lock(mutex);
            tags[static_cast<size_t>(channel)].push_back(unit.payload[0]);
            keys[static_cast<size_t>(channel)].push_back(unit.keyPicture);
        }
        --inside[static_cast<size_t>(channel)];
    }
    void dropped(int channel, uint64_t total) override { drops[static_cast<size_t>(channel)] = total; }

    std::mutex mutex;
    std::array<std::vector<int>, 16> tags;
    std::array<std::vector<bool>, 16> keys;
    std::array<std::atomic<int>, 16> inside{};
    std::array<std::atomic<uint64_t>, 16> drops{};
    std::atomic<bool> overlapped{false};
};

bool keyAt(int index) { return index % 10 == 0; }

// Counts what each channel gets.
class CountingSink : public ChannelEvents {
public:
    void picture(int channel, const ChannelPicture& frame) override {
        std::lock_guard<std::mutex> lock(mutex);
        ++pictures[static_cast<size_t>(channel)];
        widths[static_cast<size_t>(channel)] = frame.width;
    }
    void packet(int channel, const AccessUnit&) override {
        std::lock_guard<std::mutex> lock(mutex);
        ++packets[static_cast<size_t>(channel)];
    }
    void oversized(int channel, int width, int height) override {
        std::lock_guard<std::mutex> lock(mutex);
        refused.push_back({channel, width, height});
    }
    // Waits until `done` holds (a guard against hangs, not a time limit).
    template <typename Done>
    bool waitUntil(Done done) {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (done()) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::mutex mutex;
    std::array<int, 16> pictures{};
    std::array<int, 16> widths{};
    std::array<int, 16> packets{};
    std::vector<std::array<int, 3>> refused;
};

}  // namespace

TEST(DecodeWorkers, SlowChannelDropsItsOwnPacketsUntilItsKeyPicture) {
    DeviceRecord* record = createRecord();
    record->modelIndex = 0;  // packets with the 64-byte header
    LinkShared shared;
    SlowSink sink;
    ChannelQueues queues(4);
    queues.setDropListener(nullptr);
    DecodeWorkers workers(queues, *record, shared, sink, false);
    workers.start(3);
    EXPECT_EQ(workers.workerCount(), 3);

    // As the link thread would: both channels' packets as fast as they come.
    constexpr int kPackets = 60;
    for (int i = 0; i < kPackets; ++i) {
        for (int channel : {0, 1}) {
            const Bytes packet = f5Header64Packet({static_cast<uint8_t>(i), 0x55, 0x55}, 1000, channel, keyAt(i));
            queues.push(channel, keyAt(i), packet.data(), packet.size());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Let the slow channel finish what it has queued.
    for (int i = 0; i < 200 && (queues.queued(0) > 0 || queues.queued(1) > 0 || sink.inside[0] > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    workers.stop();

    std::lock_guard<std::mutex> lock(sink.mutex);
    // The fast channel got everything, in order.
    ASSERT_EQ(sink.tags[1].size(), static_cast<size_t>(kPackets));
    for (int i = 0; i < kPackets; ++i) EXPECT_EQ(sink.tags[1][static_cast<size_t>(i)], i);
    EXPECT_EQ(queues.dropped(1), 0u);

    // The slow one dropped, and after each gap it starts again at a key picture.
    const std::vector<int>& slow = sink.tags[0];
    ASSERT_FALSE(slow.empty());
    EXPECT_LT(slow.size(), static_cast<size_t>(kPackets));
    EXPECT_EQ(queues.dropped(0), static_cast<uint64_t>(kPackets) - slow.size());
    EXPECT_EQ(slow.front(), 0);
    for (size_t k = 1; k < slow.size(); ++k) {
        EXPECT_GT(slow[k], slow[k - 1]);
        if (slow[k] != slow[k - 1] + 1) {
            EXPECT_TRUE(keyAt(slow[k])) << "after a gap: " << slow[k];
        }
    }
    // One worker per channel at a time.
    EXPECT_FALSE(sink.overlapped.load());
    destroyRecord(record);
}

TEST(DecodeWorkers, ChannelsOverThePictureBudgetAreNotDecodedUntilTheirPicturesFit) {
    DeviceRecord* record = createRecord();
    record->modelIndex = 23;  // 32-byte headers, H.264
    LinkShared shared;
    CountingSink sink;
    ChannelQueues queues(4);
    queues.setDropListener(nullptr);
    DecodeWorkers workers(queues, *record, shared, sink);
    workers.start(2);
    const Packet large = h264KeyPictureOfSize(256, 256, 1);  // 4096x4096
    const Packet small = h264KeyPictureOfSize(4, 4, 16);     // 64x64
    const auto push = [&](int channel, const Packet& payload) {
        const Packet packet = headerPacket(32, payload, 1000, channel, true);
        queues.push(channel, true, packet.data(), packet.size());
    };

    // Two channels of the largest pictures fill the budget; the third has
    // no room, is told once and still hands its packets on.
    push(0, large);
    ASSERT_TRUE(sink.waitUntil([&] { return sink.pictures[0] == 1; }));
    push(1, large);
    ASSERT_TRUE(sink.waitUntil([&] { return sink.pictures[1] == 1; }));
    push(2, large);
    push(2, large);
    ASSERT_TRUE(sink.waitUntil([&] { return sink.packets[2] == 2 && queues.queued(2) == 0; }));
    EXPECT_EQ(workers.picturePixels(), kSessionPicturePixels);

    // Once the first channel's pictures shrink, the third fits.
    push(0, small);
    ASSERT_TRUE(sink.waitUntil([&] { return sink.pictures[0] == 2; }));
    push(2, small);
    ASSERT_TRUE(sink.waitUntil([&] { return sink.pictures[2] == 1; }));
    workers.stop();

    std::lock_guard<std::mutex> lock(sink.mutex);
    EXPECT_EQ(sink.refused, (std::vector<std::array<int, 3>>{{2, 4096, 4096}}));
    EXPECT_EQ(sink.widths[2], 64);
    EXPECT_EQ(workers.picturePixels(), 0);
    destroyRecord(record);
}
